// Starting other programs and waiting for them.
#ifndef QUILLET_PLATFORM_PROCESSES_H_
#define QUILLET_PLATFORM_PROCESSES_H_

#include <cstdint>
#include <string>
#include <system_error>

namespace quillet {

// A started process. `id` is the platform's handle or process id; 0 means
// that nothing was started.
struct ChildProcess {
  std::uintptr_t id = 0;
  std::uintptr_t thread = 0;
  // The job object (Windows) or process group (POSIX) that Terminate ends,
  // 0 when the process was not started as a group.
  std::uintptr_t group = 0;
};

enum class WaitResult {
  kEnded,    // The process has ended.
  kTimeout,  // Still running after the time-out.
  kFailed,   // The wait itself failed (for instance nothing was started).
};

// Process creation, abstract so that tests can record launches instead.
class Processes {
 public:
  virtual ~Processes() = default;
  // Starts `command_line` as a new process in the current working directory.
  // The first word names the program and the rest of the line is passed to
  // it as its arguments. A ".bat" program runs through the command
  // interpreter. Inherits the environment and the standard handles. With
  // `as_group` the process and everything it starts form one group that
  // Terminate ends together.
  virtual std::error_code Start(const std::string& command_line, bool as_group,
                                ChildProcess* child) = 0;
  // Ends a process started `as_group` together with every process of its
  // group, and waits until they are gone.
  virtual void Terminate(ChildProcess* child) = 0;
  // Waits at most `timeout_ms` for the process to end.
  virtual WaitResult Wait(const ChildProcess& child, int timeout_ms) = 0;
  // The exit code of an ended process; false when it cannot be read.
  virtual bool ExitCode(const ChildProcess& child, int* code) = 0;
  // Releases what the platform holds for the process. Safe on a child that
  // was never started.
  virtual void Close(ChildProcess* child) = 0;
};

}  // namespace quillet

#endif  // QUILLET_PLATFORM_PROCESSES_H_
