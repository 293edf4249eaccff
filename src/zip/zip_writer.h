// Streams files into a standard zip archive, one deflated entry at a time.
#ifndef QUILLET_ZIP_ZIP_WRITER_H_
#define QUILLET_ZIP_ZIP_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

namespace quillet {

// Writes a zip archive whose memory use does not depend on the size of the
// files it packs: every file goes through fixed-size buffers, and only the
// central directory entries (a few dozen bytes per file) are kept until the
// end. ZIP64 records are written only where a size, an offset or the entry
// count does not fit the classic fields, so that ordinary archives stay
// readable by old tools. Paths may separate components with "\" on every
// platform, like the paths of the rest of the program.
class ZipWriter {
 public:
  explicit ZipWriter(int level = 6);
  ~ZipWriter();
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  // Creates (or empties) the archive file at `path`.
  std::error_code Create(const std::string& path);
  // Deflates the file at `source` into a new entry called `name`, dated with
  // the file's modification time.
  std::error_code AddFile(const std::string& source, const std::string& name);
  // Writes the central directory, flushes and closes the archive.
  std::error_code Finish();
  // Closes an unfinished archive and deletes it. Does nothing after Finish.
  void Abandon();

  // What the last failing call could not do, such as "read C:\Log\a.txt",
  // worded to follow "cannot ".
  const std::string& failure() const { return failure_; }

 private:
  struct Entry {
    std::string name;
    std::uint32_t crc = 0;
    std::uint64_t compressed = 0;
    std::uint64_t uncompressed = 0;
    std::uint64_t offset = 0;
    std::uint16_t dos_time = 0;
    std::uint16_t dos_date = 0;
    bool zip64_local = false;  // The local header carries a ZIP64 extra field.
  };

  std::error_code Fail(const std::string& what, std::error_code ec);
  // Appends to the archive, advancing `offset_`.
  std::error_code Write(const void* data, std::size_t size);
  std::error_code Write(const std::string& bytes) { return Write(bytes.data(), bytes.size()); }
  // Overwrites bytes already written, then returns to the end of the archive.
  std::error_code WriteAt(std::uint64_t offset, const std::string& bytes);
  std::error_code Deflate(std::FILE* in, const std::string& source, Entry* entry);
  std::string LocalHeader(const Entry& entry) const;
  std::string CentralHeader(const Entry& entry) const;
  std::string EndRecords(std::uint64_t directory_offset) const;

  int level_;
  std::FILE* out_ = nullptr;
  std::string path_;
  std::uint64_t offset_ = 0;
  std::vector<Entry> entries_;
  std::vector<unsigned char> in_buffer_;
  std::vector<unsigned char> out_buffer_;
  std::string failure_;
};

// `path` with "\" turned into the separator the C library expects.
std::string NativePath(const std::string& path);

}  // namespace quillet

#endif  // QUILLET_ZIP_ZIP_WRITER_H_
