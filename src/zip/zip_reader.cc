#include "zip/zip_reader.h"

#include <zlib.h>

#include <algorithm>

namespace quillet {
namespace {

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::size_t kLocalSize = 30;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kMaxComment = 0xFFFF;
constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::uint32_t kMax32 = 0xFFFFFFFFu;
constexpr std::uint16_t kMax16 = 0xFFFFu;

// The unsigned number of `bytes` bytes at `at` in `data`, least significant
// byte first, as the zip format stores every number.
std::uint64_t ReadLittleEndian(const std::string& data, std::size_t at, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(data[at + static_cast<std::size_t>(i)]);
  }
  return value;
}

// Reads exactly `size` bytes at `offset`; false at a short read or an error.
bool ReadExactly(InputFile& file, std::uint64_t offset, std::size_t size, std::string* out) {
  out->assign(size, '\0');
  for (std::size_t done = 0; done < size;) {
    std::size_t got = 0;
    if (file.ReadAt(offset + done, &(*out)[done], size - done, &got) || got == 0) return false;
    done += got;
  }
  return true;
}

// The failure of a file that is no readable zip archive, saying why.
Error Damaged(const std::string& what) { return Error{Errc::kDamagedArchive, what}; }

// Replaces the classic fields that hold their maximum by the values of the
// ZIP64 extra field, which lists only those, in this order.
bool ApplyZip64Extra(const std::string& extra, ZipEntryInfo* entry) {
  for (std::size_t at = 0; at + 4 <= extra.size();) {
    const std::uint64_t id = ReadLittleEndian(extra, at, 2);
    const std::size_t length = static_cast<std::size_t>(ReadLittleEndian(extra, at + 2, 2));
    if (at + 4 + length > extra.size()) return false;
    if (id == kZip64ExtraId) {
      std::size_t field = at + 4;
      for (std::uint64_t* value : {&entry->size, &entry->compressed_size, &entry->local_offset}) {
        if (*value != kMax32) continue;
        if (field + 8 > at + 4 + length) return false;
        *value = ReadLittleEndian(extra, field, 8);
        field += 8;
      }
      return true;
    }
    at += 4 + length;
  }
  return entry->size != kMax32 && entry->compressed_size != kMax32 && entry->local_offset != kMax32;
}

}  // namespace

Error ReadCentralDirectory(InputFile& file, std::vector<ZipEntryInfo>* entries) {
  entries->clear();
  const std::uint64_t file_size = file.Size();
  if (file_size < kEndSize) return Damaged("the file is too short for a zip archive");
  const std::size_t tail_size =
      static_cast<std::size_t>(std::min<std::uint64_t>(file_size, kEndSize + kMaxComment));
  const std::uint64_t tail_start = file_size - tail_size;
  std::string tail;
  if (!ReadExactly(file, tail_start, tail_size, &tail)) {
    return Damaged("the end of the file cannot be read");
  }
  // The end record is the last one whose comment reaches the end of the file.
  std::size_t end = std::string::npos;
  for (std::size_t at = tail_size - kEndSize + 1; at-- > 0;) {
    if (ReadLittleEndian(tail, at, 4) == kEndSignature &&
        at + kEndSize + ReadLittleEndian(tail, at + 20, 2) == tail_size) {
      end = at;
      break;
    }
  }
  if (end == std::string::npos) return Damaged("no end of central directory record");
  if (ReadLittleEndian(tail, end + 4, 2) != 0 || ReadLittleEndian(tail, end + 6, 2) != 0) {
    return Damaged("the archive is spread over several disks");
  }
  std::uint64_t count = ReadLittleEndian(tail, end + 10, 2);
  std::uint64_t directory_size = ReadLittleEndian(tail, end + 12, 4);
  std::uint64_t directory_offset = ReadLittleEndian(tail, end + 16, 4);
  std::uint64_t directory_end = tail_start + end;

  // A ZIP64 archive puts a locator right before the end record.
  if (end >= kZip64LocatorSize &&
      ReadLittleEndian(tail, end - kZip64LocatorSize, 4) == kZip64LocatorSignature) {
    const std::uint64_t record = ReadLittleEndian(tail, end - kZip64LocatorSize + 8, 8);
    const std::uint64_t locator = tail_start + end - kZip64LocatorSize;
    std::string zip64;
    if (locator < kZip64EndSize || record > locator - kZip64EndSize ||
        !ReadExactly(file, record, kZip64EndSize, &zip64) ||
        ReadLittleEndian(zip64, 0, 4) != kZip64EndSignature) {
      return Damaged("the ZIP64 end record is missing or damaged");
    }
    count = ReadLittleEndian(zip64, 32, 8);
    directory_size = ReadLittleEndian(zip64, 40, 8);
    directory_offset = ReadLittleEndian(zip64, 48, 8);
    directory_end = record;
  } else if (count == kMax16 || directory_size == kMax32 || directory_offset == kMax32) {
    return Damaged("the ZIP64 end records are missing");
  }
  if (directory_offset > directory_end || directory_size > directory_end - directory_offset ||
      count > directory_size / kCentralSize) {
    return Damaged("the central directory lies outside the file");
  }

  std::string directory;
  if (!ReadExactly(file, directory_offset, static_cast<std::size_t>(directory_size), &directory)) {
    return Damaged("the central directory cannot be read");
  }
  std::size_t at = 0;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (at + kCentralSize > directory.size() ||
        ReadLittleEndian(directory, at, 4) != kCentralSignature) {
      return Damaged("central directory entry " + std::to_string(i + 1) + " is damaged");
    }
    ZipEntryInfo entry;
    entry.method = static_cast<int>(ReadLittleEndian(directory, at + 10, 2));
    entry.crc = static_cast<std::uint32_t>(ReadLittleEndian(directory, at + 16, 4));
    entry.compressed_size = ReadLittleEndian(directory, at + 20, 4);
    entry.size = ReadLittleEndian(directory, at + 24, 4);
    const std::size_t name_length =
        static_cast<std::size_t>(ReadLittleEndian(directory, at + 28, 2));
    const std::size_t extra_length =
        static_cast<std::size_t>(ReadLittleEndian(directory, at + 30, 2));
    const std::size_t comment_length =
        static_cast<std::size_t>(ReadLittleEndian(directory, at + 32, 2));
    entry.local_offset = ReadLittleEndian(directory, at + 42, 4);
    const std::size_t next = at + kCentralSize + name_length + extra_length + comment_length;
    if (next > directory.size()) {
      return Damaged("central directory entry " + std::to_string(i + 1) + " is cut short");
    }
    entry.name = directory.substr(at + kCentralSize, name_length);
    if (!ApplyZip64Extra(directory.substr(at + kCentralSize + name_length, extra_length), &entry) ||
        entry.local_offset >= directory_offset) {
      return Damaged("the sizes or the place of " + entry.name + " are damaged");
    }
    entries->push_back(entry);
    at = next;
  }
  // Entries whose data overlap could make a small archive unpack to far more
  // than it holds, one copy of the same data per entry.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> extents;
  for (const ZipEntryInfo& entry : *entries) {
    extents.push_back(
        {entry.local_offset, entry.local_offset + kLocalSize + entry.compressed_size});
  }
  std::sort(extents.begin(), extents.end());
  for (std::size_t i = 1; i < extents.size(); ++i) {
    if (extents[i].first < extents[i - 1].second) {
      entries->clear();
      return Damaged("entries overlap");
    }
  }
  return {};
}

std::error_code ExtractEntry(InputFile& archive, const ZipEntryInfo& entry,
                             const std::function<void(const char* data, std::size_t size)>& sink) {
  const std::error_code damaged = std::make_error_code(std::errc::illegal_byte_sequence);
  std::string header;
  if (!ReadExactly(archive, entry.local_offset, kLocalSize, &header) ||
      ReadLittleEndian(header, 0, 4) != kLocalSignature) {
    return damaged;
  }
  std::uint64_t at = entry.local_offset + kLocalSize + ReadLittleEndian(header, 26, 2) +
                     ReadLittleEndian(header, 28, 2);
  const std::uint64_t end = at + entry.compressed_size;
  if (end > archive.Size() || (entry.method != 0 && entry.method != 8)) return damaged;
  z_stream stream{};
  if (entry.method == 8 && inflateInit2(&stream, -MAX_WBITS) != Z_OK) return damaged;
  constexpr std::size_t kChunk = 64 * 1024;
  // Only inflating needs room for output, and never more than the entry's
  // size and one byte, which shows data that unpacks to more than that. An
  // archive of many small stored files is read without it.
  std::string in, out;
  if (entry.method == 8) {
    out.resize(static_cast<std::size_t>(std::min<std::uint64_t>(entry.size, 256 * 1024)) + 1);
  }
  uLong crc = crc32(0, Z_NULL, 0);
  std::uint64_t size = 0;
  int status = Z_OK;
  while (at < end && status != Z_STREAM_END) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, end - at));
    if (!ReadExactly(archive, at, want, &in)) break;
    at += want;
    // Data that unpacks to more than the entry's size is damaged, and is not
    // unpacked any further.
    const auto emit = [&](const char* data, std::size_t n) {
      crc = crc32(crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(n));
      size += n;
      if (size <= entry.size) sink(data, n);
    };
    if (entry.method == 0) {
      emit(in.data(), want);
      continue;
    }
    stream.next_in = reinterpret_cast<Bytef*>(&in[0]);
    stream.avail_in = static_cast<uInt>(want);
    do {
      stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
      stream.avail_out = static_cast<uInt>(out.size());
      status = inflate(&stream, Z_NO_FLUSH);
      emit(out.data(), out.size() - stream.avail_out);
    } while (status == Z_OK && stream.avail_out == 0 && size <= entry.size);
    // Inflate makes no progress once this read's data is used up just as the
    // output fills; the stream goes on in the next read.
    if (status == Z_BUF_ERROR && stream.avail_in == 0) status = Z_OK;
    if ((status != Z_OK && status != Z_STREAM_END) || size > entry.size) break;
  }
  if (entry.method == 8) inflateEnd(&stream);
  const bool whole = entry.method == 0 ? at == end : status == Z_STREAM_END;
  if (!whole || size != entry.size || static_cast<std::uint32_t>(crc) != entry.crc) return damaged;
  return {};
}

std::error_code FileDigest(InputFile& file, std::uint64_t* size, std::uint32_t* crc) {
  std::string buffer(256 * 1024, '\0');
  uLong value = crc32(0, Z_NULL, 0);
  std::uint64_t offset = 0;
  for (;;) {
    std::size_t got = 0;
    if (std::error_code error = file.ReadAt(offset, &buffer[0], buffer.size(), &got)) return error;
    if (got == 0) break;
    value = crc32(value, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(got));
    offset += got;
  }
  *size = offset;
  *crc = static_cast<std::uint32_t>(value);
  return {};
}

}  // namespace quillet
