// Copying the listed log files into the staging folder.
#ifndef QUILLET_COLLECT_COLLECT_LOGS_H_
#define QUILLET_COLLECT_COLLECT_LOGS_H_

#include <map>
#include <set>
#include <string>
#include <vector>

#include "config/dir_variables.h"
#include "config/settings.h"
#include "core/journal.h"
#include "core/records.h"
#include "core/run_state.h"
#include "core/staging.h"
#include "platform/errors.h"
#include "platform/platform.h"

namespace quillet {

// What the log collections of a run did, added to by each of them.
struct CollectOutcome {
  std::vector<PatternRecord> patterns;
  std::vector<StagedFile> staged;
  // The files copied in this run, each to its name in the staging folder.
  std::map<FileId, std::string> collected;
  // Files that a list named but that could not be copied: they are in no
  // archive.
  std::set<FileId> failed;
  std::uint64_t staged_bytes = 0;  // The sizes of `staged` added up.
};

// Copies every file that the patterns of `list` match into the staging
// folder, creating it when missing, and appends to the copy journal one line
// per entry (the first match's name, or an empty line) and a line "Fehler:"
// and the file's name for every failure, after which the step goes on. A
// file whose name this run has staged already is staged under the next free
// name ("app (2).log"), so that no copy overwrites another. A file that this
// run wrote into the staging folder itself is not copied again, and a copy
// onto its own source fails. With `min_free_mb` above 0 a file whose copy
// would leave less free space on the staging folder's drive is not copied.
// A failure before the journal is open (the staging folder cannot be made,
// the journal cannot be opened) ends the run.
Error CollectLogFiles(const Platform& platform, const ListSection& list,
                      const DirVariables& variables, Staging& staging, Journal& journal,
                      long long min_free_mb, CollectOutcome* outcome);

}  // namespace quillet

#endif  // QUILLET_COLLECT_COLLECT_LOGS_H_
