// Deleting the files of the deletion list once the archive holds them.
#ifndef QUILLET_COLLECT_DELETE_LISTED_H_
#define QUILLET_COLLECT_DELETE_LISTED_H_

#include <vector>

#include "collect/collect_logs.h"
#include "config/dir_variables.h"
#include "config/settings.h"
#include "core/journal.h"
#include "core/records.h"
#include "platform/platform.h"
#include "zip/zip_reader.h"

namespace quillet {

struct DeleteOutcome {
  std::vector<PatternRecord> patterns;  // Failures name the files kept and why.
  int deleted = 0;
};

// Deletes the files that the patterns of `list` match, each by the exact
// name its search returned. A file that this run collected is deleted only
// while it still holds the bytes that `archived` (the entries of the proven
// archive) holds under its staged name; one that changed since is kept.
// A file whose copy failed is kept, since it is in no archive. A file the
// run did not collect is deleted as the list says. Every file kept is named
// in the copy journal with the reason. Files that resist stay and the list
// goes on; nothing escapes this step.
DeleteOutcome DeleteListedFiles(const Platform& platform, const ListSection& list,
                                const DirVariables& variables, const CollectOutcome& collected,
                                const std::vector<ZipEntryInfo>& archived, Journal& journal);

}  // namespace quillet

#endif  // QUILLET_COLLECT_DELETE_LISTED_H_
