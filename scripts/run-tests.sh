#!/bin/sh
# Builds the trees and runs every test: the unit and end-to-end tests of the
# Linux build, and under Wine the Windows tests (contract suite, Wine
# end-to-end, packer), which draw on an Xvfb display. Under CI a missing wine
# or xvfb-run fails the run instead of skipping.
#
# Where this machine's kernel starts 32-bit programs, the Windows tests run
# on the 32-bit release tree, which also runs the 64-bit programs once.
# Elsewhere they run on the 64-bit tree, built with the tests, under Wine's
# 64-bit loader and a 64-bit prefix; the 32-bit tree is still built there,
# its tests too, so that they compile for the release's compiler, and its
# checks that start no program run (what it imports, what its package
# holds). One line of the output says which tree was tested.
#
# The Windows tests spend their time waiting for Wine rather than computing,
# so they run while the Linux tree compiles, at a lower priority, and while
# its tests run; their output follows that of the Linux tests. The fuzz
# targets (tests/fuzz) and the packer's tests under ThreadSanitizer run beside
# them too, the fuzz targets each for a bounded time, and their output comes
# before the Windows tests'. Under CI a missing clang fails the run as well.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)

have() { command -v "$1" >/dev/null 2>&1; }
for tool in xvfb-run wine; do
  if ! have $tool && [ -n "${CI:-}" ]; then
    echo "run-tests: $tool is missing; the screenshot and Windows tests cannot run" >&2
    exit 1
  fi
done
if ! have clang++ && [ -n "${CI:-}" ]; then
  echo "run-tests: clang++ is missing; the fuzz targets cannot run" >&2
  exit 1
fi
if have xvfb-run && [ -z "${QUILLET_TEST_DISPLAY:-}" ]; then
  QUILLET_TEST_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$root/scripts/run-tests.sh"
fi

if ! have xvfb-run || ! have wine; then
  echo "run-tests: SKIPPING the Windows tests: wine or xvfb-run is not installed (scripts/setup.sh)"
  scripts/build.sh linux
  echo "== Linux tests"
  cd build/linux && exec ctest --output-on-failure -j 2
fi

# Which Windows tree the tests run on. Wine's 32-bit part is what runs the
# 32-bit programs; scripts/setup.sh installs it wherever the kernel can use it.
kernel32=no
if scripts/starts-32bit.sh; then kernel32=yes; fi
if [ $kernel32 = yes ] && dpkg -s wine32:i386 >/dev/null 2>&1; then
  bits=32 tree=windows
  export QUILLET_WINE=wine
  # A prefix made before Wine's 32-bit part was installed cannot start
  # 32-bit programs; this name is newer than that, so no such prefix is
  # taken up again.
  export QUILLET_WINEPREFIX="$root/build/windows/wineprefix-wow64"
  said="Windows tests: 32-bit release tree"
else
  if [ $kernel32 = yes ] &&
    ! apt-get install -s -qq wine32:i386 >/dev/null 2>&1; then
    # The kernel could run it, but apt cannot install it from the indices
    # this machine reaches (i386 behind amd64 on a mirror mid-sync): only
    # the runs as Windows XP and NT 4.0 are lost, as on a kernel without
    # 32-bit programs.
    why="Wine's 32-bit part, wine32:i386, cannot be installed from this machine's package indices"
  elif [ $kernel32 = yes ]; then
    why="Wine's 32-bit part, wine32:i386, is not installed: scripts/setup.sh"
    if [ -n "${CI:-}" ]; then
      echo "run-tests: this machine starts 32-bit programs, but $why" >&2
      exit 1
    fi
  else
    why="this machine cannot start 32-bit programs"
  fi
  bits=64 tree=windows64
  export QUILLET_WINE=/usr/lib/wine/wine64
  export QUILLET_WINEPREFIX="$root/build/windows64/wineprefix64"
  said="Windows tests: 64-bit tree ($why)"
fi
echo "$said"

# The Linux tree builds in a folder of its own, so it starts first, at a lower
# priority, beside the Windows trees, instead of after them.
linux_log=build/linux-build.log
mkdir -p build
nice -n 10 scripts/build.sh linux >"$linux_log" 2>&1 &
linux_build=$!
# The packer's tests under Wine take longest, so its part of the tree is
# built first and they start while the rest compiles.
scripts/build.sh $tree-packer
# The prefix is made once, and then one server is kept for all the tests,
# which spares each test program Wine's start-up. The first program of the
# server starts Wine's own background processes, which keep that program's
# output open as long as they live: it must not be a test, whose output
# CTest reads to its end.
if [ ! -f "$QUILLET_WINEPREFIX/system.reg" ]; then
  tests/wine/wine-run cmd /c exit
  WINEPREFIX="$QUILLET_WINEPREFIX" wineserver -w
fi
WINEPREFIX="$QUILLET_WINEPREFIX" wineserver -p
trap 'WINEPREFIX="$QUILLET_WINEPREFIX" wineserver -k 2>/dev/null || true' EXIT
tests/wine/wine-run cmd /c exit </dev/null >/dev/null 2>&1

# The tests of the packer (tests/tools) show no window and spend their time
# computing, on archives above 4 GiB: they run beside the others, which take
# turns on the display.
wine_log=build/$tree/wine-tests.log
tools_log=build/$tree/wine-tools-tests.log
(cd build/$tree/tests/tools && nice -n 10 ctest --output-on-failure) >"$tools_log" 2>&1 &
tools_tests=$!
if [ $bits = 32 ]; then
  scripts/build.sh windows windows64
else
  scripts/build.sh windows64-tests windows
fi
# The contract suite holds the fakes to the Windows backends; the end-to-end
# tests follow it, whatever its result. On the 64-bit tree the 32-bit
# release's checks that start no program come last.
(cd build/$tree/tests && {
  status=0
  (cd contract && ctest --output-on-failure) || status=$?
  (cd wine && ctest --output-on-failure) || status=$?
  if [ $bits = 64 ]; then
    (cd ../../windows && ctest --output-on-failure -L norun) || status=$?
  fi
  exit $status
}) >"$wine_log" 2>&1 &
wine_tests=$!
fuzz_log=build/fuzz-tests.log
fuzz_tests=""
if have clang++; then
  nice -n 10 sh -c 'scripts/build.sh fuzz && tests/fuzz/run-fuzzers.sh build/fuzz' >"$fuzz_log" 2>&1 &
  fuzz_tests=$!
else
  echo "run-tests: SKIPPING the fuzz targets: clang is not installed (scripts/setup.sh)" >"$fuzz_log"
fi

# The packer deflates on several threads: its tests run beside the others once
# more under ThreadSanitizer, which fails them at a field that two threads
# touch without the lock.
threads_log=build/threads-tests.log
nice -n 10 sh -c 'scripts/build.sh threads &&
  cd build/threads/tests/tools && ctest --output-on-failure' >"$threads_log" 2>&1 &
threads_tests=$!

status=0
wait $linux_build || status=$?
cat "$linux_log"
if [ $status = 0 ]; then
  echo "== Linux tests"
  (cd build/linux && ctest --output-on-failure -j 2) || status=$?
fi

# The fuzz summary comes before the Windows tests' output, whose CTest
# summary stays the last lines of the run.
fuzz_status=0
[ -z "$fuzz_tests" ] || wait $fuzz_tests || fuzz_status=$?
echo "== Fuzz targets"
cat "$fuzz_log"
[ $status != 0 ] || status=$fuzz_status
threads_status=0
wait $threads_tests || threads_status=$?
echo "== The packer's tests under ThreadSanitizer"
cat "$threads_log"
[ $status != 0 ] || status=$threads_status

wine_status=0
wait $tools_tests || wine_status=$?
echo "== Windows tests of the packer under Wine ($tree tree)"
cat "$tools_log"
wait $wine_tests || wine_status=$?
echo "== $said"
cat "$wine_log"
[ $status != 0 ] || status=$wine_status
exit $status
