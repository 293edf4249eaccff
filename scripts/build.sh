#!/bin/sh
# Builds the trees under build/, all three or those named:
#   windows    the Windows release, 32-bit for Windows XP SP3 and later
#              (MinGW-w64 i686, release), with the Windows tests
#   windows-release
#              only the release programs of the windows tree, for the
#              checks that need not run them
#   windows-packer
#              only the packer and its tests of the windows tree, whose
#              tests under Wine take longest and so start first
#   windows64  the 64-bit Windows programs alone, for one run under the
#              tests of the windows tree
#   windows64-tests
#              the 64-bit tree with the Windows tests, which run there on a
#              machine that cannot start 32-bit programs
#   windows64-packer
#              only the packer and its tests of the windows64 tree
#   linux      the Linux programs and tests (debug, with AddressSanitizer and
#              UBSan)
#   threads    only the packer and its tests (debug, with ThreadSanitizer;
#              not built unless named)
#   fuzz       only the fuzz targets of tests/fuzz and the libraries they
#              test, with clang, libFuzzer and the sanitizers (not built
#              unless named)
# Usage: scripts/build.sh [TREE...]
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc 2>/dev/null || echo 2)
for tree in ${*:-windows windows64 linux}; do
  case $tree in
    windows | windows-release | windows-packer)
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
      case $tree in
        windows) targets="" ;;
        windows-release) targets="--target quillet quillet_console Zip PStatXP" ;;
        windows-packer) targets="--target quillet_tools_tests" ;;
      esac
      cmake --build build/windows -j "$jobs" $targets
      ;;
    windows64 | windows64-tests | windows64-packer)
      cmake -S . -B build/windows64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DQUILLET_TESTS=ON >/dev/null
      case $tree in
        windows64) targets="--target quillet quillet_console Zip PStatXP" ;;
        windows64-tests) targets="" ;;
        windows64-packer) targets="--target quillet_tools_tests" ;;
      esac
      cmake --build build/windows64 -j "$jobs" $targets
      ;;
    linux)
      cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLET_SANITIZE=ON >/dev/null
      cmake --build build/linux -j "$jobs"
      ;;
    threads)
      cmake -S . -B build/threads -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DQUILLET_SANITIZE_THREADS=ON >/dev/null
      cmake --build build/threads -j "$jobs" --target quillet_tools_tests
      ;;
    fuzz)
      cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
        -DQUILLET_FUZZ=ON -DQUILLET_TESTS=OFF >/dev/null
      cmake --build build/fuzz -j "$jobs" --target quillet_fuzzers
      ;;
    *)
      echo "build.sh: no tree named $tree (windows, windows-release, windows-packer, windows64," \
        "windows64-tests, windows64-packer, linux, threads, fuzz)" >&2
      exit 2
      ;;
  esac
done
