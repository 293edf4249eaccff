#!/bin/sh
# Takes the README's picture of the report page: a run of the Linux build with
# Report=true, whose Quillet-Report.html is taken out of the archive and
# rendered by headless Chromium.
#
# Usage: scripts/report-picture.sh BUILD_DIR [OUTPUT_PNG]
#
# BUILD_DIR is a Linux build tree that holds src/quillet and the MorvaTools
# folder (build the targets quillet, Zip and PStatXP first). OUTPUT_PNG
# defaults to docs/report-page.png of this source tree.
#
# The script runs itself inside a fresh Xvfb display where ImageMagick shows
# docs/run-screen.png, the README's picture of an HMI screen during a run, in
# a window over the whole display, so that the page's screenshot shows an HMI
# rather than an empty display. The
# run collects a few logs, one of them named comm<plc>.log to show the
# escaping, starts a program that exits with code 1 and names a log folder
# that does not exist, so that the page has problems to highlight. Chromium
# renders the page without network where the script may take it away
# (as root, in a network namespace of its own).
set -eu

if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR [OUTPUT_PNG]" >&2
  exit 2
fi
build_dir=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
output=${2:-$source_dir/docs/report-page.png}
case $output in
  /*) ;;
  *) output=$(pwd)/$output ;;
esac

if [ -z "${QUILLET_PICTURE_DISPLAY_READY:-}" ]; then
  QUILLET_PICTURE_DISPLAY_READY=1 exec xvfb-run -a -s "-screen 0 1024x768x24" \
    "$0" "$build_dir" "$output"
fi

for tool in chromium display unzip; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "$0: $tool is not installed" >&2
    exit 1
  fi
done
if [ ! -x "$build_dir/src/quillet" ] || [ ! -x "$build_dir/MorvaTools/Quillet/Zip.exe" ]; then
  echo "$0: build quillet, Zip and PStatXP in $build_dir first" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-report-picture.XXXXXX")
viewer=
cleanup() {
  if [ -n "$viewer" ]; then kill "$viewer" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/prog" "$work/logs" "$work/visu"
cp "$build_dir/src/quillet" "$work/prog/quillet"
printf 'Line 1 of the HMI log\n' >"$work/logs/hmi.log"
printf 'PLC connection lost at 09:14\n' >"$work/logs/comm<plc>.log"
head -c 300000 /dev/urandom >"$work/logs/alarms.log"
# The placeholders are for quillet, so the shell must leave them be.
# shellcheck disable=SC2016
printf '[Project]\nTargetPath=%s\nReport=true\n[StartExeFilesXP]\n1=$VisuDir$\\Task.bat\n2=/bin/false\n[LogFilesXP]\n1=%s/*.log\n2=$VisuDir$\\Task.log\n3=%s/gone/*.log\n[DeleteFilesXP]\n1=%s/alarms.log\n' \
  "$work/target" "$work/logs" "$work" "$work/logs" >"$work/prog/quillet.ini"

# The HMI's screen, which the run captures; a moment for it to be drawn.
display -geometry +0+0 "$source_dir/docs/run-screen.png" &
viewer=$!
sleep 2
(cd "$work" && TMPDIR="$work" MorvaToolsDir="$build_dir/MorvaTools" VisuDir="$work/visu" \
  prog/quillet x >/dev/null 2>&1)
(cd "$work" && unzip -q target/1-*.Zip Quillet-Report.html)

network_off=
if [ "$(id -u)" = 0 ]; then network_off="unshare -n"; fi
mkdir -p "$(dirname "$output")"
$network_off chromium --headless --no-sandbox --disable-gpu --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$work/chromium" --hide-scrollbars --window-size=1200,1750 \
  --screenshot="$output" "file://$work/Quillet-Report.html" >/dev/null 2>&1
echo "$output"
