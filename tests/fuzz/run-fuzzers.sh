#!/bin/sh
# Runs each fuzz target of a tree built by `scripts/build.sh fuzz` for a
# bounded time, one after another, from a copy of its seed corpus in a
# temporary folder (the corpus in the repo stays as it is). Fails when a
# target reports a crash, a sanitizer finding, a leak, a timeout or running
# out of memory, and then prints its output and the input that did it.
# Usage: tests/fuzz/run-fuzzers.sh BUILD_DIR [SECONDS]   (20 s each by default)
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run-fuzzers.sh BUILD_DIR [SECONDS]}" && pwd) || exit 2
seconds=${2:-20}
work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-fuzz.XXXXXX")
# Stack traces name functions and lines only where a symbolizer is found.
command -v llvm-symbolizer >/dev/null 2>&1 ||
  PATH="$PATH:$(ls -d /usr/lib/llvm-*/bin 2>/dev/null | tail -n 1)"

passed=0
failed=0
# fuzz NAME OPTIONS...: one target, with the limits that suit its input.
fuzz() {
  name=$1
  shift
  mkdir -p "$work/$name/corpus" "$work/$name/found"
  cp "$here/corpus/$name/"* "$work/$name/corpus/"
  log=$work/$name/log
  if (cd "$work/$name" && "$build/tests/fuzz/fuzz_$name" -max_total_time="$seconds" \
    -print_final_stats=1 -artifact_prefix=found/ "$@" corpus) >"$log" 2>&1; then
    passed=$((passed + 1))
    echo "fuzz $name: passed, $(grep -o '^Done [0-9]* runs' "$log" | cut -d' ' -f2) inputs in" \
      "${seconds} s, $(ls "$work/$name/corpus" | wc -l) in the corpus ($(grep -o 'Seed: [0-9]*' "$log"))"
  else
    failed=$((failed + 1))
    echo "fuzz $name: FAILED; the end of its output:"
    tail -n 100 "$log"
    for input in "$work/$name/found/"*; do
      [ -f "$input" ] || continue
      echo "fuzz $name: the input $(basename "$input"), $(wc -c <"$input") bytes, in base64" \
        "(base64 -d >FILE, then $build/tests/fuzz/fuzz_$name FILE):"
      base64 "$input"
    done
  fi
}

# An input takes a second at most, so a longer one is a hang. The seeds
# include the growing cycles and the overlapping and oversized archives that
# once took minutes. The sanitizers' own memory takes some 400 MB of what
# -rss_limit_mb allows.
fuzz zip_reader -max_len=16384 -timeout=10 -rss_limit_mb=1024
fuzz expand_variables -max_len=4096 -timeout=10 -rss_limit_mb=1024 \
  -dict="$here/expand_variables.dict"
fuzz ini_text -max_len=4096 -timeout=10 -rss_limit_mb=768
rm -rf "$work"
echo "fuzz: $passed passed, $failed failed"
[ $failed = 0 ]
