// Preparing the target folder and rotating the archives of earlier runs.
#ifndef QUILLET_ARCHIVE_PREPARE_TARGET_H_
#define QUILLET_ARCHIVE_PREPARE_TARGET_H_

#include <functional>
#include <string>

#include "platform/platform.h"

namespace quillet {

// The archive's file name for a run at `time`: "1-MM.DD.YY-hh.mm.ss.Zip".
std::string MakeArchiveName(const LocalTime& time);

// The name under which the packer writes this run's archive in the target
// folder until the archive is proven. It begins with a letter, so that the
// rotation, which takes every name beginning with a digit for an archive,
// never moves it.
constexpr char kPackingName[] = "Quillet-packing.tmp";

// Says that a file resists the rotation: in a message box that waits for OK
// when someone started the run, elsewhere without waiting.
using RotationWarning = std::function<void(const std::string& text)>;

// Clears numbered folders out of the target folder (never entering a
// symbolic link or junction), creates the folder when missing, removes what
// a killed run left under kPackingName, and returns the name of this run's
// archive. The archives of earlier runs stay where they are until this run's
// archive is proven (RotateArchives). Failures are passed over, each retry
// loop bounded. A failed search counts as finding nothing, so an unreachable
// target folder cannot keep the step going; a failed existence test counts
// as true.
std::string PrepareTarget(const Platform& platform, const std::string& target_path);

// Deletes the slot-9 archive and moves every other archive up one slot, so
// that slot 1 is free for the new archive. Files that resist are retried a
// few times and then named through `warn` ("Can not delete ",
// "Can not copy ").
void RotateArchives(const Platform& platform, const std::string& target_path,
                    const RotationWarning& warn);

}  // namespace quillet

#endif  // QUILLET_ARCHIVE_PREPARE_TARGET_H_
