// Checking an archive that travelled: quillet --verify ARCHIVE.
#ifndef QUILLET_RUN_VERIFY_ARCHIVE_H_
#define QUILLET_RUN_VERIFY_ARCHIVE_H_

#include <ostream>
#include <string>

#include "platform/files.h"

namespace quillet {

// Reads every entry of the zip archive at `path` back against the size and
// the CRC-32 that its central directory names, and writes to `out` the
// computer, the time and the outcome of the run when the archive holds
// Quillet-Report.json, each damaged entry, each file the report lists that
// the archive lacks, and the number of files. Returns kExitOk when the
// archive is whole, kExitNoArchive when it is not (also when it is no zip
// archive, is cut short, or its directory lies about sizes and places), and
// kExitRunError when the file cannot be opened. Nothing in the file is
// trusted: every read is bounded by the file's own size.
int VerifyArchive(Files& files, const std::string& path, std::ostream& out);

}  // namespace quillet

#endif  // QUILLET_RUN_VERIFY_ARCHIVE_H_
