// The settings check for whoever writes settings files.
#ifndef QUILLET_RUN_SETTINGS_CHECK_H_
#define QUILLET_RUN_SETTINGS_CHECK_H_

#include <ostream>

#include "core/run_context.h"

namespace quillet {

// Prints the settings file the run would read, TargetPath, the tags, the
// directory variables, the sections and every entry of the four lists of
// this PC with its expansion and what it matches now, and names each
// problem that would break or mislead a run, with the line to fix: unknown
// sections and keys, list keys that are never read, invalid values, a
// target folder that cannot be made, missing programs, tools and folders,
// and files that the deletion list would delete without any log entry
// collecting them. Changes nothing on disk and starts nothing. Configure
// must have run. Returns kExitOk when nothing is wrong, kExitNoTargetPath
// without TargetPath, otherwise kExitCheckFailed.
int CheckSettings(RunContext& context, std::ostream& out);

}  // namespace quillet

#endif  // QUILLET_RUN_SETTINGS_CHECK_H_
