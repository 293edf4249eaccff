#!/bin/sh
# Times the packer against Info-ZIP `zip -j -6` on realistic log text and on
# 20,000 small files, for every thread count, under Wine and natively, and a
# run's copying against `cp -r`; prints the figures as Markdown tables.
# Options (see bench/bench.py --help): --build DIR (default build/release),
# --windows-build DIR (default build/windows), --runs N, and the set sizes.
# Needs a native release tree:
#   cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLET_TESTS=OFF
#   ninja -C build/release
set -e
cd "$(dirname "$0")/.."
exec python3 bench/bench.py "$@"
