// The run driver: the fixed order of the steps of one collection.
#ifndef QUILLET_RUN_RUN_COLLECTION_H_
#define QUILLET_RUN_RUN_COLLECTION_H_

#include <string>

#include "run/run_context.h"

namespace quillet {

// Sets program_dir and program_name from the executable's full path:
// D:\Tools\X.exe gives D:\Tools and X.
void SetProgramLocation(const std::string& program_path, RunContext* context);

// Performs one whole collection with the status window and returns the exit
// code for the process (see ExitCode). The caller ends the process with it.
// The platform pointers and the program location must be set; everything
// else of the context is filled here.
int RunCollection(RunContext& context);

// The program: "--version" prints the version, "--check" checks the settings
// without changing anything, and anything else runs the collection, any
// argument at all suppressing the closing message.
int RunProgram(RunContext& context);

}  // namespace quillet

#endif  // QUILLET_RUN_RUN_COLLECTION_H_
