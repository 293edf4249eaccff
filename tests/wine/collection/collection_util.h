// Small Windows helpers of the collection tests: reading files and the
// directory of a zip archive, file times, and helper processes that hold a
// file open or may outlive the run that started them.
#ifndef QUILLET_TESTS_WINE_COLLECTION_COLLECTION_UTIL_H_
#define QUILLET_TESTS_WINE_COLLECTION_COLLECTION_UTIL_H_

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quillet_test {

// The whole content of `path`, or "" when it cannot be read.
std::string ReadTextFile(const std::string& path);

// True when `path` names an existing file or folder.
bool PathExists(const std::string& path);

// One entry of a zip archive's central directory.
struct ZipEntry {
  std::string name;
  std::uint64_t size = 0;  // Uncompressed.
};

// Reads the central directory of the zip archive at `path` into `entries`.
// Returns false with `*error` set when the file is not a zip archive that
// this small reader understands (ZIP64 archives are not needed here).
bool ListZip(const std::string& path, std::vector<ZipEntry>* entries, std::string* error);

// The last-write time of `path` in 100-ns units, 0 when it cannot be read.
std::uint64_t LastWriteTime(const std::string& path);

// Sets the last-write time of `path`; false when that fails.
bool SetLastWriteTime(const std::string& path, std::uint64_t time);

// `names` sorted without regard to case, as Windows would list them.
std::vector<std::string> SortedNoCase(std::vector<std::string> names);

// True when no process `process_id` runs: it cannot be opened, or it has
// an exit code.
bool ProcessHasEnded(DWORD process_id);

// A hold_file.exe process that keeps one file open. It is ended by force
// when the object goes away, so that no test leaves one behind.
class HeldFile {
 public:
  HeldFile() = default;
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  // Starts `program` for `path` in `mode` ("shared" or "none") and waits at
  // most `timeout_ms` for it to report that the file is open. Returns false,
  // with `error()` set, when that did not happen.
  bool Start(const std::string& program, const std::string& path, const std::string& mode,
             DWORD timeout_ms);
  // Ends the holder by force when it still runs; the file is free then.
  void Release();

  const std::string& error() const { return error_; }

 private:
  // Reads the holder's output until it holds "ready" or the time is up.
  bool WaitForReady(DWORD timeout_ms);

  HANDLE process_ = nullptr;
  HANDLE output_ = nullptr;
  std::string error_;
};

}  // namespace quillet_test

#endif  // QUILLET_TESTS_WINE_COLLECTION_COLLECTION_UTIL_H_
