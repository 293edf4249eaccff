// Putting the run report and its companions into the staging folder, so that
// they travel in the archive with the logs.
#ifndef QUILLET_RUN_STAGE_REPORT_H_
#define QUILLET_RUN_STAGE_REPORT_H_

#include "collect/collect_logs.h"
#include "config/settings.h"
#include "core/journal.h"
#include "core/run_context.h"
#include "core/staging.h"
#include "run/report_json.h"

namespace quillet {

// Completes `report` with what only the staging folder and the deletion list
// know (the files an earlier run left, the files this run wrote itself, what
// each deletion entry matches now and whether it was collected) and stages
// the report, its page, this run's journal lines and a copy of the settings
// file under names claimed from `staging`. A report or page that cannot be
// written is named in the status window; the run goes on without it.
void StageReport(RunContext& context, RunReport& report, Staging& staging, const Journal& journal,
                 const ListSection& deletions, const CollectOutcome& collected);

}  // namespace quillet

#endif  // QUILLET_RUN_STAGE_REPORT_H_
