// Running other programs: one command line, and the start list.
#ifndef QUILLET_COLLECT_LAUNCHER_H_
#define QUILLET_COLLECT_LAUNCHER_H_

#include <string>

#include "run/run_context.h"

namespace quillet {

struct LaunchOutcome {
  bool started = false;
  bool timed_out = false;  // Ended, with everything it started, at the time limit.
  bool exit_code_known = false;
  int exit_code = 0;
};

// Starts `command_line` in the current working directory and returns when
// the process has ended, handling the window's messages every 100 ms
// meanwhile. With `timeout_s` above 0 the process and every process it
// started are ended after that many seconds; 0 waits as long as it runs. A
// command that cannot be started returns after one pass of the message
// handling.
LaunchOutcome RunAndWait(RunContext& context, const std::string& command_line,
                         long long timeout_s = 0);

// Runs every program of the numbered list `section` of the settings file,
// each from its own folder and each to its end before the next starts.
// Entries whose program does not exist as a file are skipped silently; a
// program path without a folder runs from the current directory. Each
// program is bounded by the run's program time-out. Nothing escapes this step.
void RunStartPrograms(RunContext& context, const std::string& section);

}  // namespace quillet

#endif  // QUILLET_COLLECT_LAUNCHER_H_
