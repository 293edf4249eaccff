#include "zip/zip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <utility>
#include <vector>

#include "platform/stdio_files.h"
#include "zip/parallel_deflater.h"

namespace quillet {
namespace {

constexpr std::uint64_t kMax32 = 0xFFFFFFFFu;
constexpr std::uint64_t kMax16 = 0xFFFFu;
constexpr std::uint16_t kVersionClassic = 20;  // Deflate, made on MS-DOS/FAT.
constexpr std::uint16_t kVersionZip64 = 45;
constexpr std::uint16_t kMethodStore = 0;
constexpr std::uint16_t kMethodDeflate = 8;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kZip64LocalExtraSize = 20;
// The central directory is written in pieces of about this size.
constexpr std::size_t kDirectoryChunk = 64 * 1024;
constexpr std::size_t kOutputBufferSize = 64 * 1024;
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
std::uint64_t ReadLittleEndian(const unsigned char* in, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | in[i];
  return value;
}

// The value for a classic field: too large a value leaves the field at its
// maximum, which tells readers to look in the ZIP64 records instead.
std::uint64_t Clamp(std::uint64_t value, std::uint64_t max) { return std::min(value, max); }

std::error_code LastError() {
  return errno != 0 ? std::error_code(errno, std::generic_category())
                    : std::make_error_code(std::errc::io_error);
}

// The distance from the file clock to the system clock. C++17 offers no
// conversion between them, but both count the same time from starting points
// a whole number of seconds apart, so the distance between their readings of
// "now", rounded to whole seconds, is exact as long as the two readings lie
// less than half a second apart. A busy machine may stall a thread between
// them, so the pair is read again until a system clock reading on either side
// shows it was taken in one go, and only once per process, so that every entry
// of an archive is dated by the same offset.
std::chrono::seconds FileClockOffset() {
  using std::chrono::system_clock;
  using FileClock = std::filesystem::file_time_type::clock;
  static const std::chrono::seconds offset = [] {
    system_clock::duration before, after;
    FileClock::duration file;
    for (int tries = 0; tries < 100; ++tries) {
      before = system_clock::now().time_since_epoch();
      file = FileClock::now().time_since_epoch();
      after = system_clock::now().time_since_epoch();
      if (after - before < std::chrono::milliseconds(100)) break;
    }
    return std::chrono::round<std::chrono::seconds>(before + (after - before) / 2 - file);
  }();
  return offset;
}

// The modification time of `path` in the local time of the zip format. An
// unreadable time falls back to 1980-01-01 rather than failing the archive.
void DosTime(const std::string& path, std::uint16_t* time, std::uint16_t* date) {
  *time = 0;
  *date = kDosDate1980;
  std::error_code ec;
  const std::filesystem::file_time_type written = std::filesystem::last_write_time(path, ec);
  if (ec) return;
  const auto whole_seconds =
      std::chrono::floor<std::chrono::seconds>(written.time_since_epoch() + FileClockOffset());
  const std::time_t seconds = static_cast<std::time_t>(whole_seconds.count());
  std::tm local{};
  if (!ToLocalTime(seconds, &local) || local.tm_year < 80) return;
  const int year = std::min(local.tm_year - 80, 127);
  *time =
      static_cast<std::uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
  *date = static_cast<std::uint16_t>((year << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
}

// Reads pieces of a file at growing offsets through one window, so that
// headers close to each other cost one read together instead of a read each.
class WindowReader {
 public:
  explicit WindowReader(InputFile& file) : file_(file), window_(kDirectoryChunk + kMax16) {}
  // Copies `size` bytes from `offset`; false when the file ends before.
  bool Read(std::uint64_t offset, void* out, std::size_t size) {
    if (offset < start_ || offset + size > start_ + have_) {
      start_ = offset;
      have_ = 0;
      std::size_t got = 0;
      while (have_ < window_.size() &&
             !file_.ReadAt(start_ + have_, window_.data() + have_, window_.size() - have_, &got) &&
             got > 0) {
        have_ += got;
      }
      if (size > have_) return false;
    }
    std::memcpy(out, window_.data() + (offset - start_), size);
    return true;
  }

 private:
  InputFile& file_;
  std::vector<unsigned char> window_;
  std::uint64_t start_ = 0;
  std::size_t have_ = 0;
};

}  // namespace

ZipWriter::ZipWriter(Files& files, int level, int threads)
    : level_(level), threads_(threads), files_(files) {}

ZipWriter::~ZipWriter() { Abandon(); }

Error ZipWriter::Create(const std::string& path, std::uint64_t first_offset,
                        std::uint64_t zip64_room) {
  return Open(path, first_offset, zip64_room) ? error_ : Error{};
}

Error ZipWriter::AddFile(const std::string& source, const std::string& name) {
  return Add(source, name) ? error_ : Error{};
}

Error ZipWriter::Finish() { return Complete() ? error_ : Error{}; }

std::error_code ZipWriter::Open(const std::string& path, std::uint64_t first_offset,
                                std::uint64_t zip64_room) {
  Abandon();
  error_ = {};
  count_ = 0;
  zip64_room_ = zip64_room;
  // The threads start first, so that by the time the archive exists the
  // packer is all there, with all the memory it will use.
  deflater_ = std::make_unique<ParallelDeflater>(level_, threads_);
  if (std::error_code ec = deflater_->Start()) return Fail("start the packing threads", ec);
  if (std::error_code ec = files_.OpenWrite(path, &out_)) return Fail("create " + path, ec);
  path_ = path;
  buffer_.clear();
  // The hole before the first entry comes from writing past the end.
  first_offset_ = offset_ = end_ = first_offset;
  return {};
}

void ZipWriter::Abandon() {
  if (deflater_ != nullptr) deflater_->Stop();
  deflater_.reset();
  open_ = nullptr;
  pending_.clear();
  out_.reset();
  buffer_.clear();
  if (!path_.empty()) files_.DeleteFile(path_);
  path_.clear();
}

std::error_code ZipWriter::Fail(const std::string& what, std::error_code ec) {
  if (!error_) error_ = Error{ec, what};
  return error_.code;
}

std::error_code ZipWriter::Write(const void* data, std::size_t size) {
  buffer_.append(static_cast<const char*>(data), size);
  offset_ += size;
  end_ = std::max(end_, offset_);
  return buffer_.size() >= kOutputBufferSize ? WriteBuffer() : std::error_code();
}

std::error_code ZipWriter::WriteBuffer() {
  if (buffer_.empty()) return {};
  const std::error_code ec =
      out_->WriteAt(offset_ - buffer_.size(), buffer_.data(), buffer_.size());
  buffer_.clear();
  return ec ? Fail("write " + path_, ec) : std::error_code();
}

std::error_code ZipWriter::WriteAt(std::uint64_t offset, const std::string& bytes) {
  if (std::error_code ec = WriteBuffer()) return ec;
  if (std::error_code ec = out_->WriteAt(offset, bytes.data(), bytes.size())) {
    return Fail("write " + path_, ec);
  }
  return {};
}

std::error_code ZipWriter::Add(const std::string& source, const std::string& name) {
  if (out_ == nullptr) {
    return Fail("add " + source, std::make_error_code(std::errc::bad_file_descriptor));
  }
  if (error_) return error_.code;
  if (name.empty() || name.size() > kMax16) {
    return Fail("add " + source, std::make_error_code(std::errc::filename_too_long));
  }
  const std::string native = NativePath(source);
  errno = 0;
  std::FILE* in = std::fopen(native.c_str(), "rb");
  if (in == nullptr) return Fail("open " + source, LastError());
  std::setvbuf(in, nullptr, _IONBF, 0);  // Reads go straight into the blocks.

  Entry entry;
  entry.name = name;
  entry.source = source;
  DosTime(native, &entry.dos_time, &entry.dos_date);
  pending_.push_back(std::move(entry));

  // Each read asks for one byte more than a piece: when it comes, the piece
  // is not the file's last, and the byte starts the next one.
  DeflateBlock* previous = nullptr;  // The block that holds the file's previous piece.
  std::size_t previous_start = 0;
  bool carried = false;
  unsigned char carry = 0;
  std::error_code ec;
  for (bool first = true; !ec; first = false) {
    DeflateBlock* block = nullptr;
    if ((ec = OpenBlock(&block))) break;
    // A piece after a file's first starts a block, behind its dictionary.
    if ((!first && block->used > 0) || block->room() == 0 ||
        block->pieces.size() == kMaxPiecesPerBlock) {
      SubmitOpenBlock();
      if ((ec = OpenBlock(&block))) break;
    }
    DeflatePiece piece;
    piece.first = first;
    piece.start = block->used;
    if (!first) {
      piece.dictionary = kDeflateDictionarySize;
      std::memcpy(block->data() - kDeflateDictionarySize,
                  previous->data() + previous_start + kDeflateBlockSize - kDeflateDictionarySize,
                  kDeflateDictionarySize);
    }
    std::size_t have = 0;
    if (carried) block->data()[have++] = carry;
    const std::size_t want = std::min(kDeflateBlockSize + 1, block->room());
    errno = 0;
    have += std::fread(block->data() + piece.start + have, 1, want - have, in);
    if (have == want && want <= kDeflateBlockSize && !std::ferror(in)) {
      // The file fills the rest of a block that holds other files, and may
      // well be larger than a piece, so it moves to a block of its own.
      const unsigned char* moved = block->data() + piece.start;
      SubmitOpenBlock();
      if ((ec = OpenBlock(&block))) break;
      std::memcpy(block->data(), moved, have);
      piece.start = 0;
      have += std::fread(block->data() + have, 1, kDeflateBlockSize + 1 - have, in);
    }
    if (std::ferror(in)) {
      ec = Fail("read " + source, LastError());
      break;
    }
    piece.last = have <= kDeflateBlockSize;
    piece.size = std::min(have, kDeflateBlockSize);
    if (first && !piece.last) {
      // Only a file of more than one piece can need ZIP64 sizes, so only
      // then is its size asked for.
      std::error_code size_error;
      pending_.back().zip64_local =
          std::filesystem::file_size(native, size_error) >= zip64_room_ && !size_error;
    }
    carried = !piece.last;
    if (carried) carry = block->data()[piece.start + kDeflateBlockSize];
    block->used = piece.start + piece.size;
    block->pieces.push_back(piece);
    previous = block;
    previous_start = piece.start;
    if (piece.last) break;
    SubmitOpenBlock();
  }
  std::fclose(in);
  return ec;
}

std::error_code ZipWriter::OpenBlock(DeflateBlock** block) {
  while (open_ == nullptr && deflater_->Full()) {
    if (std::error_code ec = WriteOldestBlock()) return ec;
  }
  if (open_ == nullptr) open_ = deflater_->Next();
  *block = open_;
  return {};
}

void ZipWriter::SubmitOpenBlock() {
  if (open_ != nullptr && !open_->pieces.empty()) {
    deflater_->Submit();
    open_ = nullptr;
  }
}

std::error_code ZipWriter::WriteOldestBlock() {
  DeflateBlock* block = deflater_->WaitOldest();
  std::error_code ec;
  if (block->failed) {
    ec = Fail("deflate " + pending_.front().source,
              std::make_error_code(std::errc::not_enough_memory));
  }
  for (std::size_t i = 0; !ec && i < block->pieces.size(); ++i) {
    const DeflatePiece& piece = block->pieces[i];
    const unsigned char* deflated = block->output.data() + piece.output_start;
    Entry& entry = pending_.front();
    if (piece.first) {
      entry.offset = offset_;
      entry.method = kMethodDeflate;
      if (piece.last) {
        // The whole file is at hand, so its header can be written complete.
        entry.crc = piece.crc;
        entry.uncompressed = entry.compressed = piece.size;
        if (piece.output_size < piece.size)
          entry.compressed = piece.output_size;
        else
          entry.method = kMethodStore;
        ec = Write(LocalHeader(entry));
        if (!ec) {
          ec = entry.method == kMethodStore ? Write(block->data() + piece.start, piece.size)
                                            : Write(deflated, piece.output_size);
        }
        if (!ec) {
          ++count_;
          pending_.pop_front();
        }
        continue;
      }
      // The CRC and the sizes are known only at the end; until then the
      // header holds zeros in their place.
      ec = Write(LocalHeader(entry));
    }
    if (!ec) ec = Write(deflated, piece.output_size);
    if (ec) break;
    entry.crc = piece.first ? piece.crc
                            : static_cast<std::uint32_t>(crc32_combine(
                                  entry.crc, piece.crc, static_cast<z_off_t>(piece.size)));
    entry.compressed += piece.output_size;
    entry.uncompressed += piece.size;
    if (piece.last && !(ec = CompleteEntry(&entry))) {
      ++count_;
      pending_.pop_front();
    }
  }
  deflater_->Retire();
  return ec;
}

std::error_code ZipWriter::CompleteEntry(Entry* entry) {
  std::error_code ec;
  if (entry->compressed >= entry->uncompressed) ec = StoreInstead(entry);
  if (!ec && !entry->zip64_local &&
      (entry->uncompressed >= kMax32 || entry->compressed >= kMax32)) {
    ec = Fail("pack " + entry->source + " (it grew past 4 GiB while being read)",
              std::make_error_code(std::errc::file_too_large));
  }
  // The sizes and the CRC are written over the placeholders of the local
  // header; this keeps the archive free of data descriptors, which some
  // older readers handle poorly.
  if (!ec) ec = WriteAt(entry->offset, LocalHeader(*entry));
  return ec;
}

std::error_code ZipWriter::StoreInstead(Entry* entry) {
  // Info-ZIP does the same: the deflated data is dropped and the file read
  // once more. Nothing follows the entry yet, so its data can simply be
  // written again from the same place.
  const std::uint64_t data_offset = entry->offset + kLocalHeaderSize + entry->name.size() +
                                    (entry->zip64_local ? kZip64LocalExtraSize : 0);
  if (std::error_code ec = WriteBuffer()) return ec;
  offset_ = data_offset;
  errno = 0;
  std::FILE* in = std::fopen(NativePath(entry->source).c_str(), "rb");
  if (in == nullptr) return Fail("open " + entry->source, LastError());
  std::vector<unsigned char> buffer(kDeflateBlockSize);
  uLong crc = crc32(0, Z_NULL, 0);
  std::uint64_t size = 0;
  std::error_code ec;
  std::size_t got;
  do {
    got = std::fread(buffer.data(), 1, buffer.size(), in);
    crc = crc32(crc, buffer.data(), static_cast<uInt>(got));
    size += got;
    ec = Write(buffer.data(), got);
  } while (!ec && got == buffer.size());
  if (!ec && std::ferror(in)) ec = Fail("read " + entry->source, LastError());
  std::fclose(in);
  entry->method = kMethodStore;
  entry->crc = static_cast<std::uint32_t>(crc);
  entry->compressed = entry->uncompressed = size;
  return ec;
}

std::string ZipWriter::LocalHeader(const Entry& entry) const {
  std::string out;
  Put32(&out, 0x04034b50);
  Put16(&out, entry.zip64_local ? kVersionZip64 : kVersionClassic);
  Put16(&out, 0);  // Flags.
  Put16(&out, entry.method);
  Put16(&out, entry.dos_time);
  Put16(&out, entry.dos_date);
  Put32(&out, entry.crc);
  Put32(&out, entry.zip64_local ? kMax32 : entry.compressed);
  Put32(&out, entry.zip64_local ? kMax32 : entry.uncompressed);
  Put16(&out, entry.name.size());
  Put16(&out, entry.zip64_local ? kZip64LocalExtraSize : 0);
  out += entry.name;
  if (entry.zip64_local) {
    Put16(&out, 0x0001);
    Put16(&out, 16);
    Put64(&out, entry.uncompressed);
    Put64(&out, entry.compressed);
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
  Put16(&out, entry.method);
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

std::string ZipWriter::EndRecords(std::uint64_t directory_offset, std::uint64_t count) const {
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

std::error_code ZipWriter::WriteCentralDirectory() {
  // Every local header holds all that the central directory repeats, so the
  // directory is read back from them instead of being kept in memory for
  // what may be a great many files.
  if (std::error_code ec = WriteBuffer()) return ec;
  std::unique_ptr<InputFile> in;
  if (std::error_code ec = files_.OpenRead(path_, &in)) return Fail("read back " + path_, ec);
  const std::uint64_t directory_offset = offset_;
  std::uint64_t next = first_offset_;
  std::string directory;
  std::error_code ec;
  WindowReader reader(*in);
  for (std::uint64_t i = 0; !ec && i < count_; ++i) {
    unsigned char fixed[kLocalHeaderSize] = {};
    Entry entry;
    entry.offset = next;
    std::size_t extra_size = 0;
    bool read = reader.Read(next, fixed, sizeof(fixed)) && ReadLittleEndian(fixed, 4) == 0x04034b50;
    if (read) {
      entry.method = static_cast<std::uint16_t>(ReadLittleEndian(fixed + 8, 2));
      entry.dos_time = static_cast<std::uint16_t>(ReadLittleEndian(fixed + 10, 2));
      entry.dos_date = static_cast<std::uint16_t>(ReadLittleEndian(fixed + 12, 2));
      entry.crc = static_cast<std::uint32_t>(ReadLittleEndian(fixed + 14, 4));
      entry.compressed = ReadLittleEndian(fixed + 18, 4);
      entry.uncompressed = ReadLittleEndian(fixed + 22, 4);
      entry.name.resize(ReadLittleEndian(fixed + 26, 2));
      extra_size = ReadLittleEndian(fixed + 28, 2);
      read = reader.Read(next + kLocalHeaderSize, &entry.name[0], entry.name.size());
    }
    if (read && extra_size == kZip64LocalExtraSize) {
      unsigned char extra[kZip64LocalExtraSize] = {};
      read = reader.Read(next + kLocalHeaderSize + entry.name.size(), extra, sizeof(extra));
      entry.zip64_local = true;
      entry.uncompressed = ReadLittleEndian(extra + 4, 8);
      entry.compressed = ReadLittleEndian(extra + 12, 8);
    }
    if (!read) {
      ec = Fail("read back " + path_, std::make_error_code(std::errc::io_error));
      break;
    }
    next = entry.offset + kLocalHeaderSize + entry.name.size() + extra_size + entry.compressed;
    directory += CentralHeader(entry);
    if (directory.size() >= kDirectoryChunk) {
      ec = Write(directory);
      directory.clear();
    }
  }
  in.reset();
  if (!ec) ec = Write(directory);
  if (!ec) ec = Write(EndRecords(directory_offset, count_));
  if (!ec) ec = WriteBuffer();
  return ec;
}

std::error_code ZipWriter::Complete() {
  if (out_ == nullptr) {
    return Fail("finish the archive", std::make_error_code(std::errc::bad_file_descriptor));
  }
  std::error_code ec = error_.code;
  SubmitOpenBlock();
  while (!ec && !deflater_->Empty()) ec = WriteOldestBlock();
  if (ec) return ec;
  deflater_->Stop();
  if ((ec = WriteCentralDirectory())) return ec;
  // A stored entry near the end may have replaced longer deflated data,
  // whose tail would otherwise follow the end records and hide them from
  // readers.
  if (end_ > offset_ && (ec = out_->Resize(offset_))) return Fail("write " + path_, ec);
  // The archive is complete only once it is on the disk: its caller may
  // delete what it holds as soon as this returns.
  if ((ec = out_->Sync())) return Fail("write " + path_, ec);
  out_.reset();
  path_.clear();
  return {};
}

}  // namespace quillet
