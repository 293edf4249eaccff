#!/bin/sh
# Builds the trees under build/, all three or those named:
#   windows    the Windows release, 32-bit for Windows XP SP3 and later
#              (MinGW-w64 i686, release), with the Windows tests
#   windows-packer
#              only the packer and its tests of the windows tree, whose
#              tests under Wine take longest and so start first
#   windows64  the 64-bit Windows programs alone, for one run under the
#              tests of the windows tree
#   linux      the Linux programs and tests (debug, with AddressSanitizer and
#              UBSan)
#   fuzz       only the fuzz targets of tests/fuzz and the libraries they
#              test, with clang, libFuzzer and the sanitizers (not built
#              unless named)
# Usage: scripts/build.sh [windows] [windows-packer] [windows64] [linux] [fuzz]
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc 2>/dev/null || echo 2)
for tree in ${*:-windows windows64 linux}; do
  case $tree in
    windows | windows-packer)
      # CMake keeps the toolchain a tree was first configured with, so a tree
      # from before the release became 32-bit is made anew. (The compiler
      # itself is not in the cache: the toolchain file sets it.)
      if [ -f build/windows/CMakeCache.txt ] &&
        ! grep -q '^CMAKE_TOOLCHAIN_FILE:.*/mingw-w64-i686\.cmake$' build/windows/CMakeCache.txt; then
        rm -rf build/windows
      fi
      cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
        -DQUILLET_WINDOWS64_BUILD="$root/build/windows64" >/dev/null
      targets=""
      [ $tree = windows ] || targets="--target quillet_tools_tests"
      cmake --build build/windows -j "$jobs" $targets
      ;;
    windows64)
      cmake -S . -B build/windows64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DQUILLET_TESTS=OFF >/dev/null
      cmake --build build/windows64 -j "$jobs" --target quillet Zip PStatXP
      ;;
    linux)
      cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLET_SANITIZE=ON >/dev/null
      cmake --build build/linux -j "$jobs"
      ;;
    fuzz)
      cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
        -DQUILLET_FUZZ=ON -DQUILLET_TESTS=OFF >/dev/null
      cmake --build build/fuzz -j "$jobs" --target quillet_fuzzers
      ;;
    *)
      echo "build.sh: no tree named $tree (windows, windows-packer, windows64, linux, fuzz)" >&2
      exit 2
      ;;
  esac
done
