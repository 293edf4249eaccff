// Packing the staging folder into the run's archive.
#ifndef QUILLET_ARCHIVE_PACK_LOGS_H_
#define QUILLET_ARCHIVE_PACK_LOGS_H_

#include <string>

#include "run/run_context.h"

namespace quillet {

// The packer's command line: the packer in the tools folder, "-j", the
// archive path and the staging folder's wildcard pattern, each word expanded
// and put in double quotes when it holds a blank. "" when a word cannot be
// expanded. `*archive_path` receives the expanded archive path.
std::string PackCommandLine(const RunContext& context, std::string* archive_path);

// Runs the packer over TargetPath\Log into TargetPath\<archive_name> and
// deletes the staging folder only when the archive then exists as a
// non-empty file. Returns whether it does. When it does not, the staging
// folder and everything collected stay where they are.
bool PackLogs(RunContext& context);

}  // namespace quillet

#endif  // QUILLET_ARCHIVE_PACK_LOGS_H_
