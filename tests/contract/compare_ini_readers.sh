#!/bin/sh
# Reads the same generated INI files with the POSIX reader and with Windows'
# own GetPrivateProfileStringA under Wine (the Windows build of ini_read), and fails on the first difference.
# Usage: compare_ini_readers.sh INI_READ WINE_RUN WINDOWS_INI_READ_EXE WORK_DIR
set -e
ini_read=$1 wine_run=$2 probe=$3 work=$4
if ! command -v wine >/dev/null 2>&1 || [ ! -f "$probe" ]; then
  echo "wine or the Windows build's ini_probe.exe is missing (scripts/build.sh builds both trees)"
  [ -n "${CI:-}" ] && exit 1
  exit 77
fi
rm -rf "$work" && mkdir -p "$work"
long=$(printf '%0300d' 0 | tr 0 x)
printf '%s\r\n' \
  '[Project]' ' TargetPath = D:\Service ' 'Quoted="a b"' "Single='x'" 'Inner="a"b"' \
  "Lone='" 'Empty=' 'Blanks=   ' "Long=$long" 'QuotedLong="'"$long"'"' 'Eq=a=b' \
  '  Spaced Key  =  v  ' 'NoEquals' '; comment=c' '	Tabbed	=	t	' \
  '[project]' 'TargetPath=second' 'Other=second section' \
  '[LogFilesXP]' '1=C:\Logs\*.log' '2=' '1=duplicate' \
  '[ Padded ]' 'k=padded' > "$work/a.ini"
# A file with the UTF-8 byte-order mark that Notepad may write.
printf '\357\273\277[Project]\r\nTargetPath=D:\\Marked\r\n[LogFilesXP]\r\n1=first\r\n' > "$work/b.ini"
cases="Project|TargetPath PROJECT|targetpath Project|Quoted Project|Single Project|Inner
Project|Lone Project|Empty Project|Blanks Project|Long Project|QuotedLong Project|Eq
Project|Spaced%20Key Project|NoEquals Project|Missing Project|Tabbed Project|Other
LogFilesXP|1 LogFilesXP|2 LogFilesXP|3 Missing|1 Padded|k %20Padded%20|k"
failed=0
for c in $cases; do
  section=$(printf '%s' "${c%%|*}" | sed 's/%20/ /g')
  key=$(printf '%s' "${c#*|}" | sed 's/%20/ /g')
  posix=$("$ini_read" "$work/a.ini" "$section" "$key")
  windows=$("$wine_run" "$probe" "Z:$(printf '%s' "$work/a.ini" | tr / '\\')" "$section" "$key" \
    | tr -d '\r')
  if [ "$posix" != "$windows" ]; then
    echo "DIFFERENT [$section] $key: posix $posix windows $windows"
    failed=1
  fi
done
for c in Project:TargetPath LogFilesXP:1; do
  posix=$("$ini_read" "$work/b.ini" "${c%%:*}" "${c#*:}")
  windows=$("$wine_run" "$probe" "Z:$(printf '%s' "$work/b.ini" | tr / '\\')" "${c%%:*}" "${c#*:}" \
    | tr -d '\r')
  if [ "$posix" != "$windows" ]; then
    echo "DIFFERENT with byte-order mark [${c%%:*}] ${c#*:}: posix $posix windows $windows"
    failed=1
  fi
done
missing_posix=$("$ini_read" "$work/none.ini" Project TargetPath)
missing_windows=$("$wine_run" "$probe" 'Z:\nonexistent\none.ini' Project TargetPath | tr -d '\r')
[ "$missing_posix" = "$missing_windows" ] || { echo "DIFFERENT missing file"; failed=1; }
[ $failed = 0 ] && echo "The readers agree on all cases."
exit $failed
