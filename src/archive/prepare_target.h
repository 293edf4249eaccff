// Preparing the target folder and rotating the archives of earlier runs.
#ifndef QUILLET_ARCHIVE_PREPARE_TARGET_H_
#define QUILLET_ARCHIVE_PREPARE_TARGET_H_

#include <string>

#include "platform/platform.h"

namespace quillet {

// The archive's file name for a run at `time`: "1-MM.DD.YY-hh.mm.ss.Zip".
std::string MakeArchiveName(const LocalTime& time);

// Clears numbered folders out of the target folder, creates it when missing,
// deletes the slot-9 archive, moves every other archive up one slot, and
// returns the name of this run's archive. Failures are passed over, each
// retry loop bounded; files that resist are named in a message box
// ("Can not delete ", "Can not copy "). A failed search counts as finding
// nothing, so an unreachable target folder cannot keep the step going; a
// failed existence test counts as true.
std::string PrepareTarget(const Platform& p, const std::string& target_path);

}  // namespace quillet

#endif  // QUILLET_ARCHIVE_PREPARE_TARGET_H_
