#!/bin/sh
# Installs what the Linux build needs, builds the Linux programs and runs one real
# collection of this machine's logs with examples/quillet-linux.ini. The
# archives land in /tmp/quillet-demo/archives; run it again to see them
# rotate.
set -e
cd "$(dirname "$0")/.."
scripts/setup.sh linux
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLET_TESTS=OFF >/dev/null
cmake --build build/release -j "$(nproc 2>/dev/null || echo 2)"
demo=build/demo
mkdir -p "$demo/visu" /tmp/quillet-demo
cp build/release/src/quillet "$demo/quillet"
cp examples/quillet-linux.ini "$demo/quillet.ini"
export MorvaToolsDir="$(pwd)/build/release/MorvaTools"
export VisuDir="$(pwd)/$demo/visu"
status=0
"$demo/quillet" "$@" || status=$?
echo "Archives in /tmp/quillet-demo/archives:"
ls -l /tmp/quillet-demo/archives
exit $status
