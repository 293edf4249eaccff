#include <windows.h>

#include "platform/process_list.h"
// Binding GetProcessMemoryInfo to psapi.dll, not to the K32 entry points that
// only newer kernels export, keeps the lister loadable on Windows XP.
#define PSAPI_VERSION 1
#include <psapi.h>
#include <tlhelp32.h>

namespace quillet {
namespace {

std::error_code LastError() {
  return std::error_code(static_cast<int>(GetLastError()), std::system_category());
}

// The working set of process `id`, or 0 when the process may not be opened,
// as happens for system processes and those of other users.
unsigned long long WorkingSet(DWORD id) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
  // Newer systems grant the limited right where the full one is refused;
  // Windows XP does not know it and simply fails this second attempt.
  if (process == nullptr) process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
  if (process == nullptr) return 0;
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  const bool read = GetProcessMemoryInfo(process, &counters, sizeof(counters)) != FALSE;
  CloseHandle(process);
  return read ? counters.WorkingSetSize : 0;
}

}  // namespace

std::error_code ListProcesses(std::vector<ProcessInfo>* out) {
  out->clear();
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return LastError();
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  BOOL more = Process32First(snapshot, &entry);
  while (more) {
    ProcessInfo info;
    info.id = entry.th32ProcessID;
    info.parent_id = entry.th32ParentProcessID;
    info.threads = entry.cntThreads;
    info.name = entry.szExeFile;
    info.memory_bytes = WorkingSet(entry.th32ProcessID);
    out->push_back(std::move(info));
    more = Process32Next(snapshot, &entry);
  }
  // The walk ends with ERROR_NO_MORE_FILES; anything else cut it short.
  std::error_code ec;
  if (GetLastError() != ERROR_NO_MORE_FILES) ec = LastError();
  CloseHandle(snapshot);
  return ec;
}

unsigned long CurrentProcessId() { return GetCurrentProcessId(); }

void KeepOutputFilePrivate() {}

}  // namespace quillet
