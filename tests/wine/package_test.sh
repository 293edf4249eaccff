#!/bin/sh
# Makes the release package, unpacks it into a fresh tree as a PC would get
# it, and runs one collection from it under Wine.
# Usage: package_test.sh CPACK BUILD_DIR WINE_RUN WORK_DIR
set -e
cpack=$1 build=$2 wine_run=$3 work=$4
rm -rf "$work" && mkdir -p "$work/tools" "$work/visu/Log" "$work/target"
(cd "$build" && "$cpack" -G ZIP >/dev/null)
package=$(ls "$build"/quillet-*-win64.zip)
unzip -q "$package" -d "$work/tools"
for f in quillet.exe quillet.ini Quillet/Zip.exe Quillet/PStatXP.exe Quillet/PStatNT.exe; do
  [ -f "$work/tools/$f" ] || { echo "the package lacks $f"; exit 1; }
done
for f in quillet.exe Quillet/Zip.exe Quillet/PStatXP.exe; do
  strings -el "$work/tools/$f" | grep -q '^ProductName$' || { echo "$f has no version resource"; exit 1; }
  strings "$work/tools/$f" | grep -q requestedExecutionLevel || { echo "$f has no manifest"; exit 1; }
done

wine_path() { printf 'Z:%s' "$1" | tr / '\\'; }
# The sample settings as shipped, with only the target folder changed.
sed -i "s|^TargetPath=.*|TargetPath=$(wine_path "$work/target" | sed 's/\\/\\\\/g')|" "$work/tools/quillet.ini"
printf 'visu log\r\n' > "$work/visu/Log/visu.log"
status=0
MorvaToolsDir=$(wine_path "$work/tools") VisuDir=$(wine_path "$work/visu") \
  "$wine_run" "$work/tools/quillet.exe" x || status=$?
[ $status = 0 ] || { echo "the run from the package ended with $status"; exit 1; }
archive=$(ls "$work/target"/1-*.Zip)
unzip -l "$archive" | grep -q 'visu.log' || { echo "visu.log is not in $archive"; exit 1; }
unzip -l "$archive" | grep -q 'Task.log' || { echo "Task.log is not in $archive"; exit 1; }
echo "A collection from the unpacked package made $(basename "$archive")."
