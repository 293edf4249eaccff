// The order of the steps of one collection.
#ifndef QUILLET_RUN_RUN_COLLECTION_H_
#define QUILLET_RUN_RUN_COLLECTION_H_

#include "core/run_context.h"

namespace quillet {

// Performs one whole collection with the status window and returns the exit
// code for the process (see ExitCode). The platform pointers and the
// program location must be set; everything else of the context is filled
// here.
int RunCollection(RunContext& context);

}  // namespace quillet

#endif  // QUILLET_RUN_RUN_COLLECTION_H_
