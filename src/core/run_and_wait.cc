#include "core/run_and_wait.h"

namespace quillet {
namespace {

constexpr int kPollMs = 100;

}  // namespace

LaunchOutcome RunAndWait(Processes& processes, StatusWindow& window,
                         const std::string& command_line, long long timeout_s) {
  LaunchOutcome outcome;
  ChildProcess child;
  // Only a time limit needs the process group; without one the program is
  // started exactly as it always was.
  outcome.started = !processes.Start(command_line, timeout_s > 0, &child);
  WaitResult result;
  long long waited_ms = 0;
  do {
    result = processes.Wait(child, kPollMs);
    window.YieldToUi();
    waited_ms += kPollMs;
    if (result == WaitResult::kTimeout && timeout_s > 0 && waited_ms >= timeout_s * 1000) {
      processes.Terminate(&child);
      outcome.timed_out = true;
      break;
    }
  } while (result == WaitResult::kTimeout);
  if (outcome.started && result == WaitResult::kEnded) {
    outcome.exit_code_known = processes.ExitCode(child, &outcome.exit_code);
  }
  processes.Close(&child);
  return outcome;
}

}  // namespace quillet
