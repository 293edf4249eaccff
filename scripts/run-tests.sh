#!/bin/sh
# Builds both targets and runs every test: unit and end-to-end tests of the
# Linux build, then the Windows programs under Wine with an Xvfb display.
# Under CI a missing wine or xvfb-run fails the run instead of skipping.
# The fuzz targets (tests/fuzz) run beside the Windows tests, each for a
# bounded time, and their summary comes before the Windows tests' output;
# under CI a missing clang fails the run as well.
set -e
cd "$(dirname "$0")/.."
have() { command -v "$1" >/dev/null 2>&1; }
if ! have clang++ && [ -n "${CI:-}" ]; then
  echo "run-tests: clang++ is missing; the fuzz targets cannot run" >&2
  exit 1
fi
scripts/build.sh
root=$(pwd)
# One Wine prefix for every test that runs a Windows program, created once.
export QUILLET_WINEPREFIX="$root/build/windows/wineprefix"

display="xvfb-run -a -s \"-screen 0 1024x768x24\""
if ! command -v xvfb-run >/dev/null 2>&1; then
  if [ -n "${CI:-}" ]; then
    echo "run-tests: xvfb-run is missing; the screenshot and Windows tests cannot run" >&2
    exit 1
  fi
  echo "run-tests: xvfb-run is not installed (scripts/setup.sh): the screenshot test is skipped"
  display=""
fi

echo "== Linux tests"
(cd build/linux && eval "$display ctest --output-on-failure -j 2")

if ! command -v wine >/dev/null 2>&1 || [ -z "$display" ]; then
  if [ -n "${CI:-}" ]; then
    echo "run-tests: wine or xvfb-run is missing; the Windows tests cannot run" >&2
    exit 1
  fi
  echo "run-tests: SKIPPING the Windows tests: wine or xvfb-run is not installed (scripts/setup.sh)"
  exit 0
fi

fuzz_log=build/fuzz-tests.log
fuzz_tests=""
if have clang++; then
  nice -n 10 sh -c 'scripts/build.sh fuzz && tests/fuzz/run-fuzzers.sh build/fuzz' >"$fuzz_log" 2>&1 &
  fuzz_tests=$!
else
  echo "run-tests: SKIPPING the fuzz targets: clang is not installed (scripts/setup.sh)" >"$fuzz_log"
fi
wine_log=build/windows/wine-tests.log
wine_status=0
(cd build/windows &&
  xvfb-run -a -s "-screen 0 1024x768x24" ctest --output-on-failure) >"$wine_log" 2>&1 ||
  wine_status=$?
status=0
[ -z "$fuzz_tests" ] || wait $fuzz_tests || status=$?
echo "== Fuzz targets"
cat "$fuzz_log"
echo "== Windows tests under Wine"
cat "$wine_log"
[ $status != 0 ] || status=$wine_status
WINEPREFIX="$QUILLET_WINEPREFIX" wineserver -k 2>/dev/null || true
exit $status
