// Running the programs of the start list.
#ifndef QUILLET_COLLECT_START_PROGRAMS_H_
#define QUILLET_COLLECT_START_PROGRAMS_H_

#include <vector>

#include "config/dir_variables.h"
#include "config/settings.h"
#include "core/records.h"
#include "platform/platform.h"

namespace quillet {

// Runs every program of the start list, each from its own folder and each to
// its end before the next starts, and returns a record per entry. The text
// up to the first blank of the expanded entry is the program; an entry whose
// program does not exist as a file is skipped, and a program path without a
// folder runs from the current directory. With `timeout_s` above 0 a program
// is ended, with everything it started, after that many seconds. Nothing
// escapes this step.
std::vector<ProgramRecord> RunStartPrograms(const Platform& platform, const ListSection& list,
                                            const DirVariables& variables, long long timeout_s);

}  // namespace quillet

#endif  // QUILLET_COLLECT_START_PROGRAMS_H_
