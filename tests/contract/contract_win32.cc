// What the contract suite does by hand on Windows.
#include <windows.h>

#include "tests/contract/backend.h"

namespace quillet {

// Opens the file for writing as a log's own program would: sharing reading
// with others, or nothing at all.
bool HoldOpenByHand(const std::string& path, bool shared, std::uintptr_t* handle) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, shared ? FILE_SHARE_READ : 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  *handle = reinterpret_cast<std::uintptr_t>(file);
  return file != INVALID_HANDLE_VALUE;
}

void ReleaseByHand(std::uintptr_t handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

std::string ProgramText(bool endless) {
  return endless ? "@:again\r\n@ping -n 2 127.0.0.1 >nul\r\n@goto again\r\n" : "@exit 3\r\n";
}

}  // namespace quillet
