#!/bin/sh
# Makes the release package, unpacks it into a fresh tree as a PC would get
# it, and runs one collection from it under Wine.
# Usage: package_test.sh CPACK BUILD_DIR WINE_RUN WORK_DIR [winxp|nt40|contents]
#
# With "contents" it only checks what the package holds, without running
# anything under Wine, so that the 32-bit release is checked on machines
# that cannot start 32-bit programs as well.
# Without a version the run uses the sample settings as shipped, in the
# tests' Wine prefix. With one it runs in a prefix of its own that reports
# that Windows version, over settings whose XP and NT sections differ, and
# checks that the run chose the sections and the process lister of the tag
# that version stands for.
set -e
cpack=$1 build=$2 wine_run=$3 work=$4 version=${5:-}
rm -rf "$work" && mkdir -p "$work/tools" "$work/visu/Log" "$work/target"
(cd "$build" && "$cpack" -G ZIP >/dev/null)
package=$(ls "$build"/quillet-*-win*.zip)
unzip -q "$package" -d "$work/tools"
for f in quillet.exe quillet.com quillet.ini Quillet/Zip.exe Quillet/PStatXP.exe Quillet/PStatNT.exe; do
  [ -f "$work/tools/$f" ] || { echo "the package lacks $f"; exit 1; }
done
# Windows refuses to start a program whose manifest names another processor
# than the program's own; Wine does not check it.
case $package in
  *-win32.zip) arch=x86 ;;
  *) arch=amd64 ;;
esac
for f in quillet.exe quillet.com Quillet/Zip.exe Quillet/PStatXP.exe; do
  strings -el "$work/tools/$f" | grep -q '^ProductName$' || { echo "$f has no version resource"; exit 1; }
  strings "$work/tools/$f" | grep -q requestedExecutionLevel || { echo "$f has no manifest"; exit 1; }
  strings "$work/tools/$f" | grep -q "processorArchitecture=\"$arch\"" ||
    { echo "the manifest of $f does not name the processor $arch"; exit 1; }
done
if [ "$version" = contents ]; then
  echo "The package $(basename "$package") holds every program, each with its version and manifest."
  exit 0
fi

# The PE subsystem (2 windowed, 3 console): cmd waits for a console program
# and gives it its window, but not a windowed one on Windows; Wine's cmd
# waits for both, so the header is what tells them apart.
subsystem() {
  python3 -c 'import struct, sys
d = open(sys.argv[1], "rb").read()
print(struct.unpack_from("<H", d, struct.unpack_from("<I", d, 0x3c)[0] + 92)[0])' "$1"
}
[ "$(subsystem "$work/tools/quillet.exe")" = 2 ] || { echo "quillet.exe is no windowed program"; exit 1; }
[ "$(subsystem "$work/tools/quillet.com")" = 3 ] || { echo "quillet.com is no console program"; exit 1; }

wine_path() { printf 'Z:%s' "$1" | tr / '\\'; }
target=$(wine_path "$work/target")
printf 'visu log\r\n' > "$work/visu/Log/visu.log"

if [ -z "$version" ]; then
  # The sample settings as shipped, with only the target folder changed.
  sed -i "s|^TargetPath=.*|TargetPath=$(printf '%s' "$target" | sed 's/\\/\\\\/g')|" \
    "$work/tools/quillet.ini"
  tag=XP
else
  case $version in
    winxp) tag=XP other=NT ;;
    nt40) tag=NT other=XP ;;
    *) echo "unknown Windows version $version"; exit 2 ;;
  esac
  # A prefix of its own, kept beside the work folder so that later runs
  # reuse it, and copied from a fresh 32-bit one, which is made only once:
  # Wine lets only a 32-bit prefix report these versions, as 32-bit systems
  # they were. Each mark is written once its prefix is complete.
  base=$(dirname "$work")/wineprefix-win32
  prefix=$(dirname "$work")/wineprefix-$version
  export QUILLET_WINEPREFIX="$prefix"
  trap 'WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true' EXIT
  if [ ! -f "$base/quillet-base" ]; then
    rm -rf "$base"
    WINEARCH=win32 QUILLET_WINEPREFIX="$base" "$wine_run" cmd /c exit
    WINEPREFIX="$base" wineserver -w
    touch "$base/quillet-base"
  fi
  if [ ! -f "$prefix/quillet-version" ]; then
    rm -rf "$prefix"
    cp -a "$base" "$prefix"
    "$wine_run" winecfg /v "$version"
    echo "$version" > "$prefix/quillet-version"
  fi
  # Each tag's lists name their own files: the run must copy and delete
  # those of its tag and leave the others alone.
  printf 'xp log\r\n' > "$work/visu/Log/xp.log"
  printf 'nt log\r\n' > "$work/visu/Log/nt.log"
  printf 'old\r\n' > "$work/visu/Log/xp.bak"
  printf 'old\r\n' > "$work/visu/Log/nt.bak"
  # The $Name$ placeholders are for quillet.exe, so the shell leaves them be.
  {
    printf '[Project]\r\nTargetPath=%s\r\n' "$target"
    for t in XP NT; do
      name=$(echo $t | tr A-Z a-z)
      printf '[StartExeFiles%s]\r\n1=$VisuDir$\\Task.bat\r\n' $t
      printf '[LogFiles%s]\r\n1=$VisuDir$\\Log\\%s.log\r\n2=$VisuDir$\\Task.log\r\n' $t $name
      printf '[DeleteFiles%s]\r\n1=$VisuDir$\\Log\\%s.bak\r\n' $t $name
    done
  } > "$work/tools/quillet.ini"
fi

# Typed in cmd without an extension, "quillet" is the console program: its
# text comes out, and a mistyped option is refused with its exit code.
if [ -z "$version" ]; then
  status=0
  out=$("$wine_run" cmd /c "cd /d $(wine_path "$work/tools") && quillet --chek" 2>&1) || status=$?
  [ $status = 2 ] && printf '%s' "$out" | grep -q 'Unknown option' ||
    { echo "quillet --chek in cmd ended with $status: $out"; exit 1; }
fi

status=0
MorvaToolsDir=$(wine_path "$work/tools") VisuDir=$(wine_path "$work/visu") \
  "$wine_run" "$work/tools/quillet.exe" x || status=$?
[ $status = 0 ] || { echo "the run from the package ended with $status"; exit 1; }
archive=$(ls "$work/target"/1-*.Zip)
listing=$(unzip -l "$archive")
holds() { printf '%s\n' "$listing" | grep -q "$1"; }
holds Task.log || { echo "Task.log is not in $archive"; exit 1; }
# The task batch lists the processes with the lister of the tag; the run
# itself is among them.
grep -q "PStat$tag.exe" "$work/visu/Task.bat" || { echo "Task.bat does not call PStat$tag.exe"; exit 1; }
unzip -p "$archive" Task.log | grep -qi 'quillet.exe' || { echo "Task.log does not list quillet.exe"; exit 1; }
if [ -z "$version" ]; then
  holds visu.log || { echo "visu.log is not in $archive"; exit 1; }
else
  mine=$(echo $tag | tr A-Z a-z) others=$(echo $other | tr A-Z a-z)
  holds "$mine.log" || { echo "$mine.log of LogFiles$tag is not in $archive"; exit 1; }
  ! holds "$others.log" || { echo "$others.log of LogFiles$other is in $archive"; exit 1; }
  [ ! -e "$work/visu/Log/$mine.bak" ] || { echo "$mine.bak of DeleteFiles$tag is still there"; exit 1; }
  [ -e "$work/visu/Log/$others.bak" ] || { echo "$others.bak of DeleteFiles$other was deleted"; exit 1; }
fi
echo "A collection from the unpacked package made $(basename "$archive") with the tag $tag."
