// Copying the listed log files into the staging folder.
#ifndef QUILLET_COLLECT_COLLECT_LOGS_H_
#define QUILLET_COLLECT_COLLECT_LOGS_H_

#include <string>

#include "run/run_context.h"

namespace quillet {

// The copy journal in the program's folder, appended to on every run.
std::string JournalPath(const RunContext& context);

// Copies every file that the patterns of the numbered list `section` match
// into TargetPath\Log, creating that folder when missing, and appends to the
// copy journal one line per entry (the first match's name, or an empty line)
// and a line "Fehler:" and the file's name for every failure, after which
// the step goes on. A failure before the journal is open (the staging
// folder cannot be made, the journal cannot be opened) ends the run.
RunError CollectLogFiles(RunContext& context, const std::string& section);

// Deletes every file that the patterns of the numbered list `section`
// match; files that resist stay and the list goes on. Only the file that a
// search returned is ever deleted, and never a log whose copy failed in this
// run. With `delete_files` false nothing is deleted: the matches are only
// counted for the run report, which goes into the archive before deletion.
void DeleteListedFiles(RunContext& context, const std::string& section, bool delete_files = true);

// Writes "$VisuDir$\Task.bat", one line that runs the process lister of the
// Windows generation into "$VisuDir$\Task.log". A batch file that cannot be
// written ends the run.
RunError WriteTaskBatch(RunContext& context);

}  // namespace quillet

#endif  // QUILLET_COLLECT_COLLECT_LOGS_H_
