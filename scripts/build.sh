#!/bin/sh
# Builds the Linux tree (debug, with AddressSanitizer and UBSan) and the
# Windows tree (MinGW-w64, release) under build/. `scripts/build.sh fuzz`
# builds instead only the fuzz targets of tests/fuzz and the libraries they
# test, with clang, libFuzzer and the sanitizers, in build/fuzz.
set -e
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
if [ "${1:-}" = fuzz ]; then
  cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
    -DQUILLET_FUZZ=ON -DQUILLET_TESTS=OFF >/dev/null
  exec cmake --build build/fuzz -j "$jobs" --target quillet_fuzzers
fi
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLET_SANITIZE=ON \
  -DQUILLET_WINDOWS_BUILD="$(pwd)/build/windows" >/dev/null
cmake --build build/linux -j "$jobs"
cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
cmake --build build/windows -j "$jobs"
