#!/bin/sh
# Fails when a release program is not a 32-bit x86 program, or when it
# imports a function or a DLL that Windows XP SP3 lacks: Windows refuses to
# start a program with a missing import, before any of its code runs.
# Usage: import_test.sh OBJDUMP PROGRAM...
#
# Our own code looks newer functions up at run time instead; the lists
# below name what the toolchain's static libraries (C runtime, winpthreads,
# libstdc++) and newer Windows headers tend to bring in.
set -e
objdump=$1
shift

# Functions that came with Windows Vista or later, whichever DLL exports them.
post_xp_functions="
GetTickCount64
InitializeSRWLock AcquireSRWLockExclusive AcquireSRWLockShared ReleaseSRWLockExclusive
ReleaseSRWLockShared TryAcquireSRWLockExclusive TryAcquireSRWLockShared
InitializeConditionVariable SleepConditionVariableCS SleepConditionVariableSRW
WakeConditionVariable WakeAllConditionVariable
InitOnceExecuteOnce InitOnceBeginInitialize InitOnceComplete InitOnceInitialize
FlsAlloc FlsFree FlsGetValue FlsSetValue
GetFinalPathNameByHandleA GetFinalPathNameByHandleW CreateSymbolicLinkA CreateSymbolicLinkW
GetFileInformationByHandleEx SetFileInformationByHandle CreateFile2 CopyFile2
CompareStringEx LCMapStringEx GetLocaleInfoEx GetUserDefaultLocaleName LocaleNameToLCID
LCIDToLocaleName ResolveLocaleName GetThreadPreferredUILanguages
QueryFullProcessImageNameA QueryFullProcessImageNameW
GetSystemTimePreciseAsFileTime CancelIoEx CancelSynchronousIo
GetErrorMode GetThreadErrorMode SetThreadErrorMode
GetThreadId GetProcessIdOfThread GetCurrentProcessorNumber
CreateEventExA CreateEventExW CreateMutexExA CreateMutexExW CreateSemaphoreExA CreateSemaphoreExW
WaitOnAddress WakeByAddressSingle WakeByAddressAll
GetQueuedCompletionStatusEx SetFileCompletionNotificationModes
CreateThreadpoolWork SubmitThreadpoolWork CloseThreadpoolWork
GetDynamicTimeZoneInformation SetThreadpoolTimer
K32EnumProcesses K32EnumProcessModules K32GetModuleBaseNameA K32GetModuleFileNameExA
K32GetProcessImageFileNameA K32GetProcessMemoryInfo
BCryptGenRandom
"
# DLLs that Windows XP does not have, as one regular expression over the
# name in lower case.
post_xp_dlls='^(api-ms-win-|ext-ms-win-|ucrtbase\.dll|vcruntime|msvcp1|msvcr1|bcrypt\.dll)'

failed=0
for program in "$@"; do
  if ! "$objdump" -f "$program" | grep -q 'file format pei-i386'; then
    echo "$program: not a 32-bit x86 Windows program"
    failed=1
    continue
  fi
  # "DLL FUNCTION" for each import, from the import tables that objdump -p
  # prints: a "DLL Name:" line opens each DLL's table, a blank line ends it.
  imports=$("$objdump" -p "$program" | awk '
    /^\tDLL Name:/ { dll = $3; next }
    /^$/ { dll = "" }
    dll != "" && NF >= 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print dll, $3 }')
  if [ -z "$imports" ]; then
    echo "$program: no imports found; objdump's output was not understood"
    failed=1
    continue
  fi
  found=$(printf '%s\n' "$imports" | awk -v functions="$post_xp_functions" -v dlls="$post_xp_dlls" '
    BEGIN { n = split(functions, list); for (i = 1; i <= n; i++) post_xp[list[i]] = 1 }
    { dll = tolower($1) }
    dll ~ dlls { print "imports " $2 " from " $1 ", a DLL that Windows XP lacks"; next }
    $2 in post_xp { print "imports " $2 " from " $1 ", which Windows XP lacks"; next }
    # Windows XP has none of the bounds-checking "_s" functions in msvcrt.dll.
    dll == "msvcrt.dll" && $2 ~ /_s$/ { print "imports " $2 " from " $1 ", which Windows XP lacks" }')
  if [ -n "$found" ]; then
    printf '%s\n' "$found" | sed "s|^|$program: |"
    failed=1
  else
    echo "$program: $(printf '%s\n' "$imports" | wc -l) imports, all in Windows XP SP3"
  fi
done
exit $failed
