// The end of a run: what the person at the screen or the calling program is
// told, and the exit code.
#ifndef QUILLET_RUN_CLOSING_H_
#define QUILLET_RUN_CLOSING_H_

#include <string>

#include "archive/pack_logs.h"
#include "core/run_context.h"
#include "core/staging.h"

namespace quillet {

// Reports an error that ends the run and returns `code`: a message box for
// someone at the screen, standard error for a calling program, which must
// never be left waiting on a dialog.
int EndWith(RunContext& context, const std::string& what, int code);

// Closes a run that reached its end: the status window moves to the front,
// says "OK" only for an archive that was made and checked, and is placed in
// the top left corner at its own size; then the closing text names the
// archive, the files an earlier run left and what the archive does not hold.
// Returns kExitOk with an archive, else kExitNoArchive after saying why and
// that the collected files stay in the staging folder.
int CloseRun(RunContext& context, const PackOutcome& packed, const Staging& staging);

}  // namespace quillet

#endif  // QUILLET_RUN_CLOSING_H_
