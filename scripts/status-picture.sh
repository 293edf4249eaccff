#!/bin/sh
# Takes the README's picture of a run: the whole screen while quillet.exe's
# status window names its "Exe" step below the stand-in HMI's debug window.
#
# Usage: scripts/status-picture.sh BUILD_DIR [OUTPUT_PNG]
#
# BUILD_DIR is a MinGW-w64 build tree that holds src/quillet.exe,
# tools/stand_in_hmi.exe and the MorvaTools folder (build the targets quillet,
# Zip, PStatXP and stand_in_hmi first). OUTPUT_PNG defaults to
# docs/run-screen.png of this source tree.
#
# The script runs itself inside a fresh Xvfb display, so that the picture
# shows nothing but the stand-in and the one run. Its Wine prefix shows every
# program inside a virtual desktop of the display's size, where Wine draws
# window frames and captions as the PC's screen has them. The stand-in's
# debug window comes up first, as the HMI's would on the PC; the run then
# starts unattended, and its start list holds a batch file that waits about
# five seconds, which keeps the status window on its "Exe" step long enough to
# be photographed. Afterwards the run goes on to click the debug window into
# saving its contents, and the script waits for it to end. The Wine prefix is
# one of its own inside the build tree (QUILLET_PICTURE_WINEPREFIX overrides
# it), created and set up on first use: the script ends every Wine process of
# its prefix when it is done, which must not hit tests that run meanwhile in
# the prefix of the tests.
set -eu

if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR [OUTPUT_PNG]" >&2
  exit 2
fi
build_dir=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
output=${2:-$source_dir/docs/run-screen.png}
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

# The tests' own Wine starter, which chooses the loader that this kernel can
# start, with this script's prefix.
wine=$source_dir/tests/wine/wine-run
for tool in wine wineserver import; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "$0: $tool is not installed" >&2
    exit 1
  fi
done
program=$build_dir/src/quillet.exe
stand_in=$build_dir/tools/stand_in_hmi.exe
if [ ! -f "$program" ] || [ ! -f "$stand_in" ] ||
  [ ! -f "$build_dir/MorvaTools/Quillet/Zip.exe" ]; then
  echo "$0: build quillet, Zip, PStatXP and stand_in_hmi in $build_dir first" >&2
  exit 1
fi

export WINEPREFIX="${QUILLET_PICTURE_WINEPREFIX:-$build_dir/wineprefix-picture}"
export QUILLET_WINEPREFIX="$WINEPREFIX"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" wineboot -i >/dev/null 2>&1 || true
  wineserver -w
  # Every program of this prefix shows inside one virtual desktop of the
  # display's size, where Wine draws the frames and captions that a window
  # manager would, so that the picture looks like the PC's screen.
  "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Quillet /f >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Quillet /d 1024x768 /f >/dev/null 2>&1
  # The caption buttons are glyphs of Wine's Marlett font, which Debian's Wine
  # installs but does not load by itself.
  if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
  wineserver -w
fi

# Linux paths as Wine sees them on its drive Z:.
# shellcheck disable=SC1003 # The quotes hold one backslash, the replacement.
wine_path() {
  printf 'Z:%s' "$1" | tr '/' '\\'
}

# Waits up to 30 seconds until the command of its arguments succeeds.
wait_for() {
  for _ in $(seq 1 300); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  return 1
}

work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-picture.XXXXXX")
quillet_pid=
cleanup() {
  if [ -n "$quillet_pid" ]; then kill "$quillet_pid" 2>/dev/null || true; fi
  # This also ends the stand-in, which runs until it is ended from outside.
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/target" "$work/visu"
cp "$program" "$work/quillet.exe"
printf 'collected\r\n' >"$work/visu/app.log"
# The batch of the start list first leaves a mark that the run has reached
# its "Exe" step; ping then waits one second between its six echoes, so the
# batch takes about five.
printf '@echo off\r\necho started> %s\r\nping -n 6 127.0.0.1 > nul\r\n' \
  "$(wine_path "$work/batch_started.txt")" >"$work/wait.bat"
# The $VisuDir$ placeholder is for quillet.exe, so the shell must leave it be.
# shellcheck disable=SC2016
printf '[Project]\r\nTargetPath=%s\r\n[StartExeFilesXP]\r\n1=%s\r\n[LogFilesXP]\r\n1=$VisuDir$\\*.log\r\n' \
  "$(wine_path "$work/target")" "$(wine_path "$work/wait.bat")" >"$work/quillet.ini"

# The stand-in HMI writes its ready file once its debug window shows.
"$wine" "$stand_in" "$(wine_path "$work")" >/dev/null 2>&1 &
if ! wait_for test -f "$work/hmi_ready.txt"; then
  echo "$0: the stand-in HMI did not show its debug window" >&2
  exit 1
fi

# With an argument the run is unattended and ends by itself. The batch of the
# start list is a console program, and the console window that Wine would open
# for it lies exactly over the status window. Started through cmd, which Wine
# gives a console without a window when it starts it from Linux, quillet.exe
# passes that console on to the batch, so no console window covers the picture.
(
  cd "$work"
  VisuDir=$(wine_path "$work/visu") MorvaToolsDir=$(wine_path "$build_dir/MorvaTools") \
    TempVisu=$(wine_path "$work/temp") exec "$wine" cmd /c quillet.exe x
) &
quillet_pid=$!

# True while the batch of the start list runs, and with it the "Exe" step.
at_exe_step() {
  [ -f "$work/batch_started.txt" ] && kill -0 "$quillet_pid" 2>/dev/null
}
if ! wait_for at_exe_step; then
  echo "$0: the run never reached its start list" >&2
  exit 1
fi
# The status window names the "Exe" step just before the batch starts; a
# moment later it has certainly been painted, and the batch still runs.
sleep 2
if ! at_exe_step; then
  echo "$0: the run ended before the picture" >&2
  exit 1
fi
mkdir -p "$(dirname "$output")"
import -window root "$output"
status=0
wait "$quillet_pid" || status=$?
quillet_pid=
if [ "$status" -ne 0 ]; then
  echo "$0: the run ended with exit code $status" >&2
  exit 1
fi
echo "$output"
