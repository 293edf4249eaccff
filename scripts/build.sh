#!/bin/sh
# Builds the Linux tree (debug, with AddressSanitizer and UBSan) and the
# Windows tree (MinGW-w64, release) under build/.
set -e
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLET_SANITIZE=ON \
  -DQUILLET_WINDOWS_BUILD="$(pwd)/build/windows" >/dev/null
cmake --build build/linux -j "$jobs"
cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
cmake --build build/windows -j "$jobs"
