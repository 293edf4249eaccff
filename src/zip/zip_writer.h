// Streams files into a standard zip archive, deflating on several threads.
#ifndef QUILLET_ZIP_ZIP_WRITER_H_
#define QUILLET_ZIP_ZIP_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <system_error>

#include "platform/errors.h"
#include "platform/files.h"

namespace quillet {

class ParallelDeflater;
struct DeflateBlock;

// A file this large gets room for ZIP64 sizes in its local header before it
// is packed. Deflate grows data by well under one percent at worst, so a
// smaller file cannot reach 4 GiB, compressed or not, unless it grows while
// it is read; that case is reported instead of written wrongly.
constexpr std::uint64_t kZip64Room = 0xF0000000u;

// Writes a zip archive whose memory use depends neither on the size of the
// files it packs nor on their number: files go through a fixed ring of
// blocks, and the central directory is built at the end from the local
// headers already in the archive. Large files are cut into pieces that
// deflate on several threads at once, and small files share the threads'
// blocks; the archive is byte for byte the same whatever the number of
// threads. A file that deflate does not make smaller is stored as it is.
// ZIP64 records are written only where a size, an offset or the entry count
// does not fit the classic fields, so that ordinary archives stay readable
// by old tools. Paths may separate components with "\" on every platform,
// like the paths of the rest of the program. The archive is written, read
// back and flushed through `files`, so that its every write can fail in a
// test; the packed files are read directly. A call that fails says what it
// could not do, such as "read C:\Log\a.txt", worded to follow "cannot ".
class ZipWriter {
 public:
  // `threads` deflate at once (1 to kMaxDeflateThreads; others are clamped).
  explicit ZipWriter(Files& files, int level = 6, int threads = 1);
  ~ZipWriter();
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  // Creates (or empties) the archive file at `path` and starts the threads;
  // an archive this writer had not finished is abandoned first.
  // The first entry starts at `first_offset`, with a hole before it. A file
  // of more than one piece and at least `zip64_room` bytes, which may grow
  // past 4 GiB while it is read, gets ZIP64 sizes in its local header ahead
  // of its data. Tests lower both to reach the ZIP64 records without
  // writing or reading 4 GiB.
  Error Create(const std::string& path, std::uint64_t first_offset = 0,
               std::uint64_t zip64_room = kZip64Room);
  // Adds the file at `source` as a new entry called `name`, dated with the
  // file's modification time. The file has been read when this returns, but
  // its data may still be on its way into the archive, so a failure to
  // deflate or write it can also come from a later call. After any failure
  // the archive is unusable, every later call fails the same way, and only
  // Abandon is left to do.
  Error AddFile(const std::string& source, const std::string& name);
  // Writes what is still in flight and the central directory, and closes
  // the archive once all of it is on the disk.
  Error Finish();
  // Stops the threads, closes an unfinished archive and deletes it. Does
  // nothing after Finish.
  void Abandon();

 private:
  struct Entry {
    std::string name;
    std::string source;  // Kept only while the entry is being written.
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint64_t compressed = 0;
    std::uint64_t uncompressed = 0;
    std::uint64_t offset = 0;
    std::uint16_t dos_time = 0;
    std::uint16_t dos_date = 0;
    bool zip64_local = false;  // The local header carries a ZIP64 extra field.
  };

  // The work of Create, AddFile and Finish, whose failures all go through
  // Fail, so that `error_` holds the first with its words.
  std::error_code Open(const std::string& path, std::uint64_t first_offset,
                       std::uint64_t zip64_room);
  std::error_code Add(const std::string& source, const std::string& name);
  std::error_code Complete();
  // Keeps the first failure, `ec` with what could not be done, and returns
  // its code.
  std::error_code Fail(const std::string& what, std::error_code ec);
  // Appends to the archive, advancing `offset_`. Small writes gather in
  // `buffer_` and reach the file together.
  std::error_code Write(const void* data, std::size_t size);
  std::error_code WriteBuffer();
  std::error_code Write(const std::string& bytes) { return Write(bytes.data(), bytes.size()); }
  // Overwrites bytes already written, then returns to the end of the archive.
  std::error_code WriteAt(std::uint64_t offset, const std::string& bytes);
  // Makes `*block` the block being filled, taking a free one when there is
  // none, which may first need the oldest block in flight written.
  std::error_code OpenBlock(DeflateBlock** block);
  // Hands the block being filled, unless empty, to the deflating threads.
  void SubmitOpenBlock();
  // Waits for the oldest block in flight and writes its pieces into their
  // entries.
  std::error_code WriteOldestBlock();
  // Completes the entry whose last block has been written.
  std::error_code CompleteEntry(Entry* entry);
  // Writes the entry's file again over its deflated data, uncompressed.
  std::error_code StoreInstead(Entry* entry);
  std::error_code WriteCentralDirectory();
  std::string LocalHeader(const Entry& entry) const;
  std::string CentralHeader(const Entry& entry) const;
  std::string EndRecords(std::uint64_t directory_offset, std::uint64_t count) const;

  int level_;
  int threads_;
  std::unique_ptr<ParallelDeflater> deflater_;
  DeflateBlock* open_ = nullptr;  // The block being filled, not yet handed over.
  Files& files_;
  std::unique_ptr<OutputFile> out_;
  std::string buffer_;  // Bytes that end at `offset_`, not yet in the file.
  std::string path_;
  std::uint64_t first_offset_ = 0;
  std::uint64_t zip64_room_ = 0;
  std::uint64_t offset_ = 0;   // Where the next byte goes.
  std::uint64_t end_ = 0;      // The furthest byte ever written, beyond `offset_`
                               // when a stored entry replaced longer data.
  std::uint64_t count_ = 0;    // Entries complete in the archive.
  std::deque<Entry> pending_;  // Entries with blocks in flight, oldest first.
  Error error_;                // The first failure, repeated by every later call.
};

}  // namespace quillet

#endif  // QUILLET_ZIP_ZIP_WRITER_H_
