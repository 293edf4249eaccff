#include "zip/zip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <utility>

namespace quillet {
namespace {

constexpr std::size_t kBufferSize = 256 * 1024;
constexpr std::uint64_t kMax32 = 0xFFFFFFFFu;
constexpr std::uint64_t kMax16 = 0xFFFFu;
// A file this large gets room for ZIP64 sizes in its local header before it
// is packed. Deflate grows data by well under one percent at worst, so a
// smaller file cannot reach 4 GiB, compressed or not, unless it grows while
// it is read; that case is reported instead of written wrongly.
constexpr std::uint64_t kZip64Room = 0xF0000000u;
constexpr std::uint16_t kVersionClassic = 20;  // Deflate, made on MS-DOS/FAT.
constexpr std::uint16_t kVersionZip64 = 45;
constexpr std::uint16_t kMethodDeflate = 8;
constexpr std::uint32_t kAttributeArchive = 0x20;
constexpr std::uint16_t kDosDate1980 = (1 << 5) | 1;  // The earliest date a zip can hold.

void Put16(std::string* out, std::uint64_t value) {
  out->push_back(static_cast<char>(value & 0xFF));
  out->push_back(static_cast<char>((value >> 8) & 0xFF));
}
void Put32(std::string* out, std::uint64_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, (value >> 16) & 0xFFFF);
}
void Put64(std::string* out, std::uint64_t value) {
  Put32(out, value & kMax32);
  Put32(out, value >> 32);
}

// The value for a classic field: too large a value leaves the field at its
// maximum, which tells readers to look in the ZIP64 records instead.
std::uint64_t Clamp(std::uint64_t value, std::uint64_t max) { return std::min(value, max); }

std::error_code LastError() {
  return errno != 0 ? std::error_code(errno, std::generic_category())
                    : std::make_error_code(std::errc::io_error);
}

int Seek(std::FILE* file, std::uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET);
#else
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET);
#endif
}

// The modification time of `path` in the local time of the zip format. An
// unreadable time falls back to 1980-01-01 rather than failing the archive.
void DosTime(const std::string& path, std::uint16_t* time, std::uint16_t* date) {
  namespace fs = std::filesystem;
  using std::chrono::system_clock;
  *time = 0;
  *date = kDosDate1980;
  std::error_code ec;
  const fs::file_time_type written = fs::last_write_time(path, ec);
  if (ec) return;
  // C++17 offers no conversion from the file clock to the system clock, so
  // the distance from "now" is carried over. Rounding to milliseconds before
  // dropping the fraction keeps the microseconds between the two readings
  // from moving a time that falls on a whole second into the one before.
  const auto since_epoch =
      system_clock::now().time_since_epoch() + (written - fs::file_time_type::clock::now());
  const auto whole_seconds = std::chrono::floor<std::chrono::seconds>(
      std::chrono::round<std::chrono::milliseconds>(since_epoch));
  const std::time_t seconds = static_cast<std::time_t>(whole_seconds.count());
  const std::tm* local = std::localtime(&seconds);
  if (local == nullptr || local->tm_year < 80) return;
  const int year = std::min(local->tm_year - 80, 127);
  *time = static_cast<std::uint16_t>((local->tm_hour << 11) | (local->tm_min << 5) |
                                     (local->tm_sec / 2));
  *date = static_cast<std::uint16_t>((year << 9) | ((local->tm_mon + 1) << 5) | local->tm_mday);
}

}  // namespace

std::string NativePath(const std::string& path) {
  std::string native = path;
#ifndef _WIN32
  std::replace(native.begin(), native.end(), '\\', '/');
#endif
  return native;
}

ZipWriter::ZipWriter(int level)
    : level_(level), in_buffer_(kBufferSize), out_buffer_(kBufferSize) {}

ZipWriter::~ZipWriter() { Abandon(); }

std::error_code ZipWriter::Create(const std::string& path) {
  Abandon();
  entries_.clear();
  offset_ = 0;
  errno = 0;
  out_ = std::fopen(NativePath(path).c_str(), "wb");
  if (out_ == nullptr) return Fail("create " + path, LastError());
  path_ = path;
  return {};
}

void ZipWriter::Abandon() {
  if (out_ != nullptr) std::fclose(out_);
  out_ = nullptr;
  if (!path_.empty()) std::remove(NativePath(path_).c_str());
  path_.clear();
}

std::error_code ZipWriter::Fail(const std::string& what, std::error_code ec) {
  failure_ = what;
  return ec;
}

std::error_code ZipWriter::Write(const void* data, std::size_t size) {
  errno = 0;
  if (std::fwrite(data, 1, size, out_) != size) return Fail("write " + path_, LastError());
  offset_ += size;
  return {};
}

std::error_code ZipWriter::WriteAt(std::uint64_t offset, const std::string& bytes) {
  errno = 0;
  if (Seek(out_, offset) != 0 || std::fwrite(bytes.data(), 1, bytes.size(), out_) != bytes.size() ||
      Seek(out_, offset_) != 0) {
    return Fail("write " + path_, LastError());
  }
  return {};
}

std::error_code ZipWriter::AddFile(const std::string& source, const std::string& name) {
  if (out_ == nullptr) {
    return Fail("add " + source, std::make_error_code(std::errc::bad_file_descriptor));
  }
  if (name.empty() || name.size() > kMax16) {
    return Fail("add " + source, std::make_error_code(std::errc::filename_too_long));
  }
  const std::string native = NativePath(source);
  errno = 0;
  std::FILE* in = std::fopen(native.c_str(), "rb");
  if (in == nullptr) return Fail("open " + source, LastError());
  std::setvbuf(in, nullptr, _IONBF, 0);  // Reads go straight into in_buffer_.

  Entry entry;
  entry.name = name;
  entry.offset = offset_;
  DosTime(native, &entry.dos_time, &entry.dos_date);
  std::error_code size_error;
  entry.zip64_local = std::filesystem::file_size(native, size_error) >= kZip64Room && !size_error;

  std::error_code ec = Write(LocalHeader(entry));
  if (!ec) ec = Deflate(in, source, &entry);
  std::fclose(in);
  if (!ec && !entry.zip64_local && (entry.uncompressed >= kMax32 || entry.compressed >= kMax32)) {
    ec = Fail("pack " + source + " (it grew past 4 GiB while being read)",
              std::make_error_code(std::errc::file_too_large));
  }
  if (ec) return ec;

  // The sizes and the CRC are known only now, so they are written over the
  // placeholders of the local header; this keeps the archive free of data
  // descriptors, which some older readers handle poorly.
  std::string fields;
  Put32(&fields, entry.crc);
  Put32(&fields, entry.zip64_local ? kMax32 : entry.compressed);
  Put32(&fields, entry.zip64_local ? kMax32 : entry.uncompressed);
  ec = WriteAt(entry.offset + 14, fields);
  if (!ec && entry.zip64_local) {
    std::string sizes;
    Put64(&sizes, entry.uncompressed);
    Put64(&sizes, entry.compressed);
    ec = WriteAt(entry.offset + 30 + entry.name.size() + 4, sizes);
  }
  if (!ec) entries_.push_back(std::move(entry));
  return ec;
}

std::error_code ZipWriter::Deflate(std::FILE* in, const std::string& source, Entry* entry) {
  z_stream stream{};
  if (deflateInit2(&stream, level_, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    return Fail("start deflating " + source, std::make_error_code(std::errc::not_enough_memory));
  }
  std::error_code ec;
  uLong crc = crc32(0, Z_NULL, 0);
  int flush = Z_NO_FLUSH;
  while (!ec && flush != Z_FINISH) {
    errno = 0;
    const std::size_t got = std::fread(in_buffer_.data(), 1, in_buffer_.size(), in);
    if (std::ferror(in)) {
      ec = Fail("read " + source, LastError());
      break;
    }
    if (got < in_buffer_.size()) flush = Z_FINISH;
    crc = crc32(crc, in_buffer_.data(), static_cast<uInt>(got));
    entry->uncompressed += got;
    stream.next_in = in_buffer_.data();
    stream.avail_in = static_cast<uInt>(got);
    do {
      stream.next_out = out_buffer_.data();
      stream.avail_out = static_cast<uInt>(out_buffer_.size());
      deflate(&stream, flush);  // Cannot fail on a valid stream with fresh output room.
      const std::size_t have = out_buffer_.size() - stream.avail_out;
      entry->compressed += have;
      ec = Write(out_buffer_.data(), have);
    } while (!ec && stream.avail_out == 0);
  }
  deflateEnd(&stream);
  entry->crc = static_cast<std::uint32_t>(crc);
  return ec;
}

std::string ZipWriter::LocalHeader(const Entry& entry) const {
  std::string out;
  Put32(&out, 0x04034b50);
  Put16(&out, entry.zip64_local ? kVersionZip64 : kVersionClassic);
  Put16(&out, 0);  // Flags.
  Put16(&out, kMethodDeflate);
  Put16(&out, entry.dos_time);
  Put16(&out, entry.dos_date);
  Put32(&out, 0);  // CRC and sizes are patched in after the data.
  Put32(&out, 0);
  Put32(&out, 0);
  Put16(&out, entry.name.size());
  Put16(&out, entry.zip64_local ? 20 : 0);
  out += entry.name;
  if (entry.zip64_local) {
    Put16(&out, 0x0001);
    Put16(&out, 16);
    Put64(&out, 0);
    Put64(&out, 0);
  }
  return out;
}

std::string ZipWriter::CentralHeader(const Entry& entry) const {
  // The ZIP64 extra field holds only the values that overflow, in this order.
  std::string wide;
  if (entry.uncompressed >= kMax32) Put64(&wide, entry.uncompressed);
  if (entry.compressed >= kMax32) Put64(&wide, entry.compressed);
  if (entry.offset >= kMax32) Put64(&wide, entry.offset);
  const std::uint16_t version =
      wide.empty() && !entry.zip64_local ? kVersionClassic : kVersionZip64;
  std::string out;
  Put32(&out, 0x02014b50);
  Put16(&out, version);  // Made by MS-DOS/FAT, so that readers take the DOS attributes.
  Put16(&out, version);
  Put16(&out, 0);  // Flags.
  Put16(&out, kMethodDeflate);
  Put16(&out, entry.dos_time);
  Put16(&out, entry.dos_date);
  Put32(&out, entry.crc);
  Put32(&out, Clamp(entry.compressed, kMax32));
  Put32(&out, Clamp(entry.uncompressed, kMax32));
  Put16(&out, entry.name.size());
  Put16(&out, wide.empty() ? 0 : wide.size() + 4);
  Put16(&out, 0);  // Comment length.
  Put16(&out, 0);  // Disk number.
  Put16(&out, 0);  // Internal attributes.
  Put32(&out, kAttributeArchive);
  Put32(&out, Clamp(entry.offset, kMax32));
  out += entry.name;
  if (!wide.empty()) {
    Put16(&out, 0x0001);
    Put16(&out, wide.size());
    out += wide;
  }
  return out;
}

std::string ZipWriter::EndRecords(std::uint64_t directory_offset) const {
  const std::uint64_t count = entries_.size();
  const std::uint64_t size = offset_ - directory_offset;
  std::string out;
  if (count >= kMax16 || size >= kMax32 || directory_offset >= kMax32) {
    Put32(&out, 0x06064b50);  // ZIP64 end of central directory record.
    Put64(&out, 44);
    Put16(&out, kVersionZip64);
    Put16(&out, kVersionZip64);
    Put32(&out, 0);
    Put32(&out, 0);
    Put64(&out, count);
    Put64(&out, count);
    Put64(&out, size);
    Put64(&out, directory_offset);
    Put32(&out, 0x07064b50);  // Its locator.
    Put32(&out, 0);
    Put64(&out, offset_);
    Put32(&out, 1);
  }
  Put32(&out, 0x06054b50);
  Put16(&out, 0);
  Put16(&out, 0);
  Put16(&out, Clamp(count, kMax16));
  Put16(&out, Clamp(count, kMax16));
  Put32(&out, Clamp(size, kMax32));
  Put32(&out, Clamp(directory_offset, kMax32));
  Put16(&out, 0);  // Comment length.
  return out;
}

std::error_code ZipWriter::Finish() {
  if (out_ == nullptr) {
    return Fail("finish the archive", std::make_error_code(std::errc::bad_file_descriptor));
  }
  const std::uint64_t directory_offset = offset_;
  for (const Entry& entry : entries_) {
    if (std::error_code ec = Write(CentralHeader(entry))) return ec;
  }
  if (std::error_code ec = Write(EndRecords(directory_offset))) return ec;
  errno = 0;
  std::FILE* out = out_;
  out_ = nullptr;
  const bool flushed = std::fflush(out) == 0 && !std::ferror(out);
  if (std::fclose(out) != 0 || !flushed) return Fail("write " + path_, LastError());
  path_.clear();
  entries_.clear();
  return {};
}

}  // namespace quillet
