#!/bin/sh
# Times the collection and the packing of a run over generated logs against
# `cp -r` and Info-ZIP `zip -j -6` of the same files, and prints the ratios,
# the compression of both archives and the peak memory of quillet and of the
# packer. Usage: bench/run-bench.sh [FILES] [TOTAL_MIB]   (default 2000 1024)
# Needs a release build: scripts/collect-demo.sh or
#   cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DQUILLET_TESTS=OFF && cmake --build build/release
set -e
cd "$(dirname "$0")/.."
files=${1:-2000}
total_mib=${2:-1024}
build=$(pwd)/build/release
[ -x "$build/src/quillet" ] || { echo "build/release is missing; see the usage above" >&2; exit 2; }
work=${TMPDIR:-/tmp}/quillet-bench
rm -rf "$work" && mkdir -p "$work/logs" "$work/prog" "$work/target" "$work/notools" "$work/visu"

echo "Generating $files log files, $total_mib MiB in all ..."
python3 - "$work/logs" "$files" "$total_mib" <<'PY'
import os, random, sys
folder, count, total = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]) * 1024 * 1024
size = total // count
random.seed(7)
words = ["INFO", "WARN", "ERROR", "tag", "value", "plc", "alarm", "cycle", "id", "ok", "timeout"]
line_pool = []
for i in range(5000):
    line_pool.append("2026-12-06 10:%02d:%02d.%03d %s %s=%d %s\r\n" % (
        i % 60, (i * 7) % 60, i % 1000, random.choice(words), random.choice(words),
        random.randrange(1 << 30), "".join(random.choice("abcdefghij0123456789") for _ in range(24))))
for n in range(count):
    with open(os.path.join(folder, "log%05d.log" % n), "w", newline="") as f:
        written = 0
        while written < size:
            line = random.choice(line_pool)
            f.write(line)
            written += len(line)
PY

cp "$build/src/quillet" "$work/prog/quillet"
printf '[Project]\nTargetPath=%s\n[LogFilesXP]\n1=%s/logs/*.log\n' "$work/target" "$work" > "$work/prog/quillet.ini"

seconds() { python3 -c 'import sys,time; print(time.time())'; }
peak_kib() { sed -n 's/.*Maximum resident set size (kbytes): //p' "$1"; }

sync
start=$(seconds)
# Without a packer in the tools folder the run stops after collecting, so
# this measures the copying (with rotation and journal) alone.
env -u DISPLAY MorvaToolsDir="$work/notools" VisuDir="$work/visu" \
  /usr/bin/time -v "$work/prog/quillet" x 2> "$work/quillet.time" || true
copy_quillet=$(python3 -c "print($(seconds) - $start)")

start=$(seconds)
/usr/bin/time -v "$build/MorvaTools/Quillet/Zip.exe" -j "$work/target/bench.Zip" "$work/target/Log/*.*" \
  2> "$work/zip.time"
pack_quillet=$(python3 -c "print($(seconds) - $start)")

start=$(seconds)
cp -r "$work/logs" "$work/cp-copy"
copy_cp=$(python3 -c "print($(seconds) - $start)")

start=$(seconds)
zip -q -j -6 "$work/infozip.zip" "$work/cp-copy"/*
pack_infozip=$(python3 -c "print($(seconds) - $start)")

ours=$(stat -c %s "$work/target/bench.Zip")
theirs=$(stat -c %s "$work/infozip.zip")
raw=$(du -sb "$work/logs" | cut -f1)
python3 - <<PY
# The run pauses 250 ms for the screenshot and 100 ms before it closes,
# whatever it collects; those fixed pauses are no part of the copying.
copy_q, copy_c = $copy_quillet - 0.35, $copy_cp
pack_q, pack_i = $pack_quillet, $pack_infozip
ours, theirs, raw = $ours, $theirs, $raw
print("files %d, %.0f MiB" % ($files, raw / 1048576))
print("copy:  quillet %.2f s (without its fixed 0.35 s of pauses), cp -r %.2f s, ratio %.2f (target <= 1.10)" % (copy_q, copy_c, copy_q / copy_c))
print("pack:  Zip.exe %.2f s, zip -j -6 %.2f s, ratio %.2f (target <= 1.00)" % (pack_q, pack_i, pack_q / pack_i))
print("size:  Zip.exe %d, Info-ZIP %d bytes; compression %.2f %% vs %.2f %%, difference %.2f %% (target <= 2 %%)" % (
    ours, theirs, 100.0 * ours / raw, 100.0 * theirs / raw, 100.0 * (ours - theirs) / theirs))
PY
echo "peak memory: quillet $(peak_kib "$work/quillet.time") KiB, Zip.exe $(peak_kib "$work/zip.time") KiB (target < 16384 KiB)"
rm -rf "$work"
