#!/bin/sh
# Exits 0 when this machine's kernel starts 32-bit x86 programs, 1 when not.
#
# Some kernels are built or booted without 32-bit support; there Wine's
# 32-bit part cannot run, and installing it even stops the `wine` command
# from starting 64-bit programs. The package list cannot tell, so the kernel
# is asked: it is given the smallest 32-bit program there is (an ELF header,
# one segment and the exit system call, 93 bytes) and either runs it or
# answers "Exec format error".
# The probe is written into the build folder, which must allow programs to
# run anyway, rather than into /tmp, which may not.
build="$(dirname "$0")/../build"
mkdir -p "$build"
probe=$(mktemp "$build/starts-32bit.XXXXXX") || exit 1
trap 'rm -f "$probe"' EXIT
printf '\177\105\114\106\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\061\333\315\200' >"$probe"
chmod +x "$probe"
"$probe" 2>/dev/null || exit 1
