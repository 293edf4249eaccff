#!/bin/sh
# Installs what building and testing Quillet needs, from Debian's packages.
# Safe to run again: apt-get leaves installed packages alone.
#
# Usage: scripts/setup.sh [linux]
#   (none)  everything the tests need: both Linux and Windows builds, Wine,
#           the display, the fuzzing compiler, and the browser and ImageMagick
#           with which scripts/report-picture.sh and status-picture.sh take
#           their pictures
#   linux   only what the Linux programs need to build and run
set -e
cd "$(dirname "$0")/.."
linux="cmake ninja-build g++ zlib1g-dev libx11-dev nlohmann-json3-dev"
tests="googletest libgtest-dev libxtst-dev libpng-dev procps
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-win32 libz-mingw-w64-dev wine64 xvfb xauth
  unzip zip python3 libarchive-tools imagemagick x11-utils ansible-core chromium
  clang libclang-rt-dev"
case ${1:-all} in
  linux) packages=$linux ;;
  all) packages="$linux $tests" ;;
  *) echo "setup.sh: unknown part $1 (linux, or nothing for all)" >&2; exit 2 ;;
esac
missing=""
for p in $packages; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
[ "$(id -u)" = 0 ] && sudo="" || sudo="sudo"
# Wine's 32-bit part runs the 32-bit release programs under test. It comes
# from Debian's i386 architecture, and only a kernel that starts 32-bit
# programs can use it: elsewhere it would even stop the `wine` command from
# starting 64-bit programs, so it is left out and the Windows tests run on
# the 64-bit tree.
if [ "${1:-all}" = all ]; then
  if scripts/starts-32bit.sh; then
    if ! dpkg -s wine32:i386 >/dev/null 2>&1; then
      missing="$missing wine32:i386"
      dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
    fi
  else
    echo "setup: this machine cannot start 32-bit programs; the Windows tests will run on the 64-bit tree"
    if dpkg -s wine32:i386 >/dev/null 2>&1; then
      echo "setup: wine32:i386 is installed but cannot run here; the tests call wine64 directly." \
        "Remove it (apt-get remove wine32:i386) to make the plain wine command work again."
    fi
  fi
fi
# Wine's 32-bit part is installed on its own: where the package indices for
# i386 are behind those for amd64 (a mirror mid-sync), apt cannot match the
# two architectures' libraries and refuses it. Everything else still goes
# in, and the Windows tests then run on the 64-bit tree (scripts/run-tests.sh
# asks apt again).
wine32=""
case "$missing" in
  *wine32:i386*) wine32=wine32:i386 missing=$(echo "$missing" | sed 's/ wine32:i386//') ;;
esac
if [ -n "$missing$wine32" ]; then
  # A mirror caught mid-sync fails one index now and then; the install
  # below still finds every package the other indices name, and fails
  # clearly itself when one is truly missing.
  $sudo apt-get update -qq || $sudo apt-get update -qq ||
    echo "setup: some package indices did not download; installing from those that did" >&2
fi
if [ -n "$missing" ]; then
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing
fi
if [ -n "$wine32" ] && ! DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $wine32; then
  echo "setup: wine32:i386 cannot be installed from the package indices this machine reaches;" \
    "the Windows tests will run on the 64-bit tree" >&2
fi
