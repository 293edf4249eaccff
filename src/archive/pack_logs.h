// Packing the staging folder into the run's archive, and proving the archive.
#ifndef QUILLET_ARCHIVE_PACK_LOGS_H_
#define QUILLET_ARCHIVE_PACK_LOGS_H_

#include <string>
#include <vector>

#include "config/dir_variables.h"
#include "core/staging.h"
#include "platform/platform.h"
#include "zip/zip_reader.h"

namespace quillet {

struct PackOutcome {
  std::string packer;        // The packer's path.
  std::string archive_path;  // The archive the packer was told to make.
  // True only when the archive holds every file of the staging folder with
  // the same size and CRC-32; the staging folder is then gone.
  bool archived = false;
  std::string why_not;                // Without an archive, why: a sentence for the closing text.
  std::vector<ZipEntryInfo> entries;  // The proven archive's entries.
};

// The packer's command line: the packer, "-j", the archive path and the
// staging folder's wildcard pattern, each put in double quotes when it holds
// a blank.
std::string PackCommandLine(const std::string& packer, const std::string& archive_path,
                            const std::string& pattern);

// Runs the packer ("$MorvaToolsDir$\Quillet\Zip.exe") over the staging
// folder into `archive_name` in `target_path`, then reads the archive back.
// The archive is accepted only when the packer exited with 0, the file is a
// readable zip whose every entry unpacks to the size and CRC-32 its
// directory names, and every file of the staging folder is in it with the
// same size and CRC-32. Only then is the staging folder deleted. Otherwise the
// staging folder and everything collected stay where they are, and
// `why_not` says what was missing. A packer ended at the time limit
// (`timeout_s` above 0) leaves no partial archive behind.
PackOutcome PackLogs(const Platform& p, const DirVariables& variables, const Staging& staging,
                     const std::string& target_path, const std::string& archive_name,
                     long long timeout_s);

}  // namespace quillet

#endif  // QUILLET_ARCHIVE_PACK_LOGS_H_
