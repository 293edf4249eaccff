// Windows backend of process creation: CreateProcessA with the whole command
// line, so the system's own parsing applies and a ".bat" file runs through
// the command interpreter.
#include <vector>

#include "platform/platform.h"
#include "platform/processes.h"
#include "platform/win32.h"

namespace quillet {
namespace {

HANDLE AsHandle(std::uintptr_t id) { return reinterpret_cast<HANDLE>(id); }

std::error_code LastError() { return LastWin32Error(); }

class Win32Processes : public Processes {
 public:
  // A group runs in a job object of its own: the process starts suspended,
  // joins the job, and only then runs, so that everything it starts belongs
  // to the job as well.
  std::error_code Start(const std::string& command_line, bool as_group,
                        ChildProcess* child) override {
    *child = ChildProcess();
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info;
    ZeroMemory(&info, sizeof(info));
    // CreateProcessA may write into the command line, so it gets a copy.
    std::vector<char> line(command_line.begin(), command_line.end());
    line.push_back('\0');
    HANDLE job = nullptr;
    if (as_group) {
      job = CreateJobObjectA(nullptr, nullptr);
      if (job == nullptr) return LastError();
    }
    // No priority class: a process started by one below normal priority
    // inherits that class, so what the run starts gives way to the HMI too.
    const DWORD flags = as_group ? CREATE_SUSPENDED : 0;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                        &startup, &info)) {
      const std::error_code error = LastError();
      if (job != nullptr) CloseHandle(job);
      return error;
    }
    child->id = reinterpret_cast<std::uintptr_t>(info.hProcess);
    child->thread = reinterpret_cast<std::uintptr_t>(info.hThread);
    if (as_group) {
      child->group = reinterpret_cast<std::uintptr_t>(job);
      if (!AssignProcessToJobObject(job, info.hProcess)) {
        const std::error_code error = LastError();
        TerminateProcess(info.hProcess, 1);
        Close(child);
        return error;
      }
      ResumeThread(info.hThread);
    }
    return {};
  }

  void Terminate(ChildProcess* child) override {
    if (child->group != 0) {
      TerminateJobObject(AsHandle(child->group), 1);
    } else if (child->id != 0) {
      TerminateProcess(AsHandle(child->id), 1);
    }
    if (child->id != 0) WaitForSingleObject(AsHandle(child->id), 5000);
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
    if (child->group != 0) CloseHandle(AsHandle(child->group));
    *child = ChildProcess();
  }
};

}  // namespace

std::unique_ptr<Processes> CreateProcesses() { return std::make_unique<Win32Processes>(); }

}  // namespace quillet
