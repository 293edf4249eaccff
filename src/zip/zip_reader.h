// Reading a zip archive's table of contents back, and the CRC-32 of a file.
#ifndef QUILLET_ZIP_ZIP_READER_H_
#define QUILLET_ZIP_ZIP_READER_H_

#include <cstdint>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"

namespace quillet {

// One entry of a zip archive's central directory.
struct ZipEntryInfo {
  std::string name;
  int method = 0;  // 0 stored, 8 deflated.
  std::uint32_t crc = 0;
  std::uint64_t compressed_size = 0;
  std::uint64_t size = 0;
  std::uint64_t local_offset = 0;
};

// Reads the central directory of the archive in `file`, with the ZIP64
// records where the classic fields overflow. Fails with
// Errc::kDamagedArchive, saying why, when the file is not a readable zip
// archive: too short, no end record, a directory that lies outside the file
// or does not hold the entries it announces. Archives spread over several
// disks are refused. The archive is another program's output, so nothing in
// it is trusted: every size and offset is checked against the file before
// it is used.
Error ReadCentralDirectory(InputFile& file, std::vector<ZipEntryInfo>* entries);

// Reads the content of `entry` out of `archive`, stored or deflated, and
// hands it to `sink` piece by piece. Fails with std::errc::illegal_byte_sequence
// when the local header or the data is damaged, or the data does not give
// the size and the CRC-32 that the central directory names.
std::error_code ExtractEntry(InputFile& archive, const ZipEntryInfo& entry,
                             const std::function<void(const char* data, std::size_t size)>& sink);

// The size and the CRC-32 (as zip archives store it) of the whole content
// of `file`, read from its start to its end.
std::error_code FileDigest(InputFile& file, std::uint64_t* size, std::uint32_t* crc);

}  // namespace quillet

#endif  // QUILLET_ZIP_ZIP_READER_H_
