// Packing the staging folder into the run's archive, and proving the archive.
#ifndef QUILLET_ARCHIVE_PACK_LOGS_H_
#define QUILLET_ARCHIVE_PACK_LOGS_H_

#include <string>
#include <vector>

#include "archive/prepare_target.h"
#include "config/dir_variables.h"
#include "core/journal.h"
#include "core/staging.h"
#include "platform/errors.h"
#include "platform/platform.h"
#include "zip/zip_reader.h"

namespace quillet {

struct PackOutcome {
  std::string packer;        // The packer's path.
  std::string archive_path;  // The archive's path in its slot 1.
  // True only when the archive holds every file of the staging folder with
  // the same size and CRC-32, is on the disk under its name in slot 1, and
  // the earlier archives have moved up a slot.
  bool archived = false;
  // True when the archive has its name in slot 1 although it is not
  // accepted, since that name may not survive a power cut.
  bool named = false;
  Error failure;  // Without an archive, why: its `what` goes into the closing text.
  std::vector<ZipEntryInfo> entries;  // The proven archive's entries.
  // What stays in the staging folder after an archive was made, because the
  // archive does not hold it as it is (a subfolder, a hidden file, a file
  // changed since it was packed): bare names.
  std::vector<std::string> kept;
};

// The packer's command line: the packer, "-j", the archive path and the
// staging folder's wildcard pattern, each put in double quotes when it holds
// a blank.
std::string PackCommandLine(const std::string& packer, const std::string& archive_path,
                            const std::string& pattern);

// Runs the packer ("$MorvaToolsDir$\Quillet\Zip.exe") over the staging
// folder into kPackingName in `target_path`, then reads that archive back.
// It is accepted only when the packer exited with 0, the file is a readable
// zip whose every entry unpacks to the size and CRC-32 its directory names,
// and every file of the staging folder is in it with the same size and
// CRC-32. Only an accepted archive, once on the disk, makes the earlier
// archives rotate (see RotateArchives, which warns through `warn`) and takes
// the name `archive_name`, which reaches the disk too. Only then is each file
// of the staging folder that the archive holds as it is deleted, and the
// folder removed when nothing else is left in it; what is left is named in
// the journal and in `kept`. Without an accepted archive, the unfinished
// one is deleted, no archive and nothing collected changes, and `failure`
// says what was missing. A packer ended at the time limit (`timeout_s`
// above 0) leaves no partial archive behind.
PackOutcome PackLogs(const Platform& platform, const DirVariables& variables,
                     const Staging& staging, Journal& journal, const std::string& target_path,
                     const std::string& archive_name, long long timeout_s,
                     const RotationWarning& warn);

}  // namespace quillet

#endif  // QUILLET_ARCHIVE_PACK_LOGS_H_
