// Running other programs: one command line, and the start list.
#ifndef QUILLET_COLLECT_LAUNCHER_H_
#define QUILLET_COLLECT_LAUNCHER_H_

#include <string>

#include "run/run_context.h"

namespace quillet {

struct LaunchOutcome {
  bool started = false;
  bool exit_code_known = false;
  int exit_code = 0;
};

// Starts `command_line` in the current working directory and returns when
// the process has ended, handling the window's messages every 100 ms
// meanwhile. There is no time limit. A command that cannot be started
// returns after one pass of the message handling.
LaunchOutcome RunAndWait(RunContext& context, const std::string& command_line);

// Runs every program of the numbered list `section` of the settings file,
// each from its own folder and each to its end before the next starts.
// Entries whose program does not exist as a file are skipped silently; a
// program path without a folder runs from the current directory. Nothing
// escapes this step.
void RunStartPrograms(RunContext& context, const std::string& section);

}  // namespace quillet

#endif  // QUILLET_COLLECT_LAUNCHER_H_
