// The settings check for whoever writes settings files.
#ifndef QUILLET_RUN_SETTINGS_CHECK_H_
#define QUILLET_RUN_SETTINGS_CHECK_H_

#include <ostream>

#include "run/run_context.h"

namespace quillet {

// Prints the settings file the run would read, TargetPath, the tags, the
// directory variables, and every entry of the four lists with its expansion
// and what it matches now, flagging unknown placeholders. Changes nothing on
// disk and starts nothing. The directory variables, the tags and ini_path
// must be set. Returns kExitOk when nothing is wrong, kExitNoTargetPath
// without TargetPath, otherwise kExitCheckFailed.
int CheckSettings(RunContext& context, std::ostream& out);

}  // namespace quillet

#endif  // QUILLET_RUN_SETTINGS_CHECK_H_
