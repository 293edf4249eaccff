// Running another program to its end while the status window stays alive.
#ifndef QUILLET_CORE_RUN_AND_WAIT_H_
#define QUILLET_CORE_RUN_AND_WAIT_H_

#include <string>

#include "platform/processes.h"
#include "platform/status_window.h"

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
LaunchOutcome RunAndWait(Processes& processes, StatusWindow& window,
                         const std::string& command_line, long long timeout_s = 0);

}  // namespace quillet

#endif  // QUILLET_CORE_RUN_AND_WAIT_H_
