// The program's command line: what the words after its name ask for.
#ifndef QUILLET_RUN_COMMAND_LINE_H_
#define QUILLET_RUN_COMMAND_LINE_H_

#include "core/run_context.h"

namespace quillet {

// The program: "--help" (also "/help", "-h", "-?" and "/?") describes the
// program, "--version" ("/version") prints the version, "--check" ("/check")
// checks the settings and "--verify ARCHIVE" ("/verify") checks a received
// archive (see VerifyArchive), all four without changing anything. A word
// starting with "-" or "/" within two letters of an option, or an option
// other than --verify among other words, is refused with the help text and
// kExitUsage, changing nothing. Anything else runs the collection, any
// argument at all suppressing the closing message. Options compare without
// regard to case. The platform pointers and the program location must be
// set; returns the exit code for the process (see ExitCode).
int RunProgram(RunContext& context);

}  // namespace quillet

#endif  // QUILLET_RUN_COMMAND_LINE_H_
