#!/bin/sh
# Takes the README's picture of quillet.exe's status window during a run.
#
# Usage: tests/wine/hmi/status_picture.sh BUILD_DIR [OUTPUT_PNG]
#
# BUILD_DIR is a MinGW-w64 build tree that holds src/quillet.exe and the
# MorvaTools folder (build the targets quillet, Zip and PStatXP first).
# OUTPUT_PNG defaults to docs/status-window.png of this source tree.
#
# The script runs itself inside a fresh Xvfb display, so that the picture
# shows nothing but the one run. Without a window manager Wine draws no frame
# and no caption, so the picture is the window's client area: the grey form
# with the label that names the current step. The run's start list holds a batch file that
# waits about five seconds, which keeps the window on its "Exe" step long
# enough to be photographed. The Wine prefix is one of its own inside the
# build tree (QUILLET_PICTURE_WINEPREFIX overrides it), created on first use:
# the script ends every Wine process of its prefix when it is done, which must
# not hit tests that run meanwhile in the prefix of the tests.
set -eu

if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR [OUTPUT_PNG]" >&2
  exit 2
fi
build_dir=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/../../.." && pwd)
output=${2:-$source_dir/docs/status-window.png}
case $output in
  /*) ;;
  *) output=$(pwd)/$output ;;
esac

# A fresh display of the size the tests use; the inner run below finds it in
# DISPLAY. Running inside xvfb-run ends the display with the script.
if [ -z "${QUILLET_PICTURE_DISPLAY_READY:-}" ]; then
  QUILLET_PICTURE_DISPLAY_READY=1 exec xvfb-run -a -s "-screen 0 1024x768x24" \
    "$0" "$build_dir" "$output"
fi

for tool in wine wineserver import convert xwininfo; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "$0: $tool is not installed" >&2
    exit 1
  fi
done
program=$build_dir/src/quillet.exe
if [ ! -f "$program" ] || [ ! -f "$build_dir/MorvaTools/Quillet/Zip.exe" ]; then
  echo "$0: build quillet, Zip and PStatXP in $build_dir first" >&2
  exit 1
fi

export WINEPREFIX="${QUILLET_PICTURE_WINEPREFIX:-$build_dir/wineprefix-picture}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi

# Linux paths as Wine sees them on its drive Z:.
# shellcheck disable=SC1003 # The quotes hold one backslash, the replacement.
wine_path() {
  printf 'Z:%s' "$1" | tr '/' '\\'
}

work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-picture.XXXXXX")
quillet_pid=
cleanup() {
  if [ -n "$quillet_pid" ]; then kill "$quillet_pid" 2>/dev/null || true; fi
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/target" "$work/visu"
cp "$program" "$work/quillet.exe"
printf 'collected\r\n' >"$work/visu/app.log"
# ping waits one second between its six echoes, so the batch takes about five.
printf '@echo off\r\nping -n 6 127.0.0.1 > nul\r\n' >"$work/wait.bat"
# The $VisuDir$ placeholder is for quillet.exe, so the shell must leave it be.
# shellcheck disable=SC2016
printf '[Project]\r\nTargetPath=%s\r\n[StartExeFilesXP]\r\n1=%s\r\n[LogFilesXP]\r\n1=$VisuDir$\\*.log\r\n' \
  "$(wine_path "$work/target")" "$(wine_path "$work/wait.bat")" >"$work/quillet.ini"

# With an argument the run is unattended and ends by itself. The batch of the
# start list is a console program, and the console window that Wine would open
# for it lies exactly over the status window. Started through cmd, which Wine
# gives a console without a window when it starts it from Linux, quillet.exe
# passes that console on to the batch, so no console window covers the picture.
(
  cd "$work"
  VisuDir=$(wine_path "$work/visu") MorvaToolsDir=$(wine_path "$build_dir/MorvaTools") \
    TempVisu=$(wine_path "$work/temp") exec wine cmd /c quillet.exe x
) &
quillet_pid=$!

# The status window's X window, as WIDTHxHEIGHT+X+Y, or nothing while it does
# not exist.
status_geometry() {
  xwininfo -name Quilletfiles 2>/dev/null | awk '
    /Absolute upper-left X/ {x = $NF}
    /Absolute upper-left Y/ {y = $NF}
    /Width:/ {w = $NF}
    /Height:/ {h = $NF}
    END {if (w > 1 && h > 1) printf "%dx%d+%d+%d", w, h, x, y}'
}

# The window shows after the screen capture; the batch starts right after it.
geometry=
for _ in $(seq 1 300); do
  geometry=$(status_geometry)
  if [ -n "$geometry" ]; then break; fi
  sleep 0.1
done
if [ -z "$geometry" ]; then
  echo "$0: the status window did not appear" >&2
  exit 1
fi
# The label changes to "Exe" as the batch starts; a moment later the window
# has certainly been painted with it. Wine may shrink the X window to the
# client area meanwhile, so its place is read again just before the picture.
sleep 2
geometry=$(status_geometry)
if [ -z "$geometry" ]; then
  echo "$0: the status window closed before the picture" >&2
  exit 1
fi
import -window root "$work/screen.png"
mkdir -p "$(dirname "$output")"
convert "$work/screen.png" -crop "$geometry" +repage "$output"
wait "$quillet_pid" || true
quillet_pid=
echo "$output ($geometry of the screen)"
