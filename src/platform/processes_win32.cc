// Windows backend of process creation: CreateProcessA with the whole command
// line, so the system's own parsing applies and a ".bat" file runs through
// the command interpreter.
#include "platform/win32.h"

#include <vector>

#include "platform/platform.h"
#include "platform/processes.h"

namespace quillet {
namespace {

HANDLE AsHandle(std::uintptr_t id) { return reinterpret_cast<HANDLE>(id); }

class Win32Processes : public Processes {
 public:
  std::error_code Start(const std::string& command_line, ChildProcess* child) override {
    *child = ChildProcess();
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info;
    ZeroMemory(&info, sizeof(info));
    // CreateProcessA may write into the command line, so it gets a copy.
    std::vector<char> line(command_line.begin(), command_line.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &info)) {
      return std::error_code(static_cast<int>(GetLastError()), std::system_category());
    }
    child->id = reinterpret_cast<std::uintptr_t>(info.hProcess);
    child->thread = reinterpret_cast<std::uintptr_t>(info.hThread);
    return {};
  }

  WaitResult Wait(const ChildProcess& child, int timeout_ms) override {
    if (child.id == 0) return WaitResult::kFailed;
    switch (WaitForSingleObject(AsHandle(child.id), static_cast<DWORD>(timeout_ms))) {
      case WAIT_OBJECT_0:
        return WaitResult::kEnded;
      case WAIT_TIMEOUT:
        return WaitResult::kTimeout;
      default:
        return WaitResult::kFailed;
    }
  }

  bool ExitCode(const ChildProcess& child, int* code) override {
    DWORD exit_code = 0;
    if (child.id == 0 || !GetExitCodeProcess(AsHandle(child.id), &exit_code) ||
        exit_code == STILL_ACTIVE) {
      return false;
    }
    *code = static_cast<int>(exit_code);
    return true;
  }

  void Close(ChildProcess* child) override {
    if (child->id != 0) CloseHandle(AsHandle(child->id));
    if (child->thread != 0) CloseHandle(AsHandle(child->thread));
    *child = ChildProcess();
  }
};

}  // namespace

std::unique_ptr<Processes> CreateProcesses() { return std::make_unique<Win32Processes>(); }

}  // namespace quillet
