// The batch file that lists the running processes.
#ifndef QUILLET_COLLECT_TASK_BATCH_H_
#define QUILLET_COLLECT_TASK_BATCH_H_

#include <string>

#include "config/dir_variables.h"
#include "core/run_state.h"
#include "platform/errors.h"
#include "platform/platform.h"

namespace quillet {

// Writes "$VisuDir$\Task.bat", one line that runs the process lister of the
// Windows generation `os_tag` ("PStatXP.exe" or "PStatNT.exe" in
// "$MorvaToolsDir$\Quillet") into "$VisuDir$\Task.log". The start list may
// name the batch file; nothing else runs it. A batch file that cannot be
// written ends the run.
Error WriteTaskBatch(const Platform& platform, const DirVariables& variables,
                     const std::string& os_tag);

}  // namespace quillet

#endif  // QUILLET_COLLECT_TASK_BATCH_H_
