// File primitives that every step of a run works through.
#ifndef QUILLET_PLATFORM_FILES_H_
#define QUILLET_PLATFORM_FILES_H_

#include <cstdint>
#include <memory>
#include <string>
#include <system_error>

namespace quillet {

// A text file opened by a step. Each line is written as it comes, followed by
// CR LF, in the system's single-byte code page. The file is closed when the
// object is destroyed.
class TextFile {
 public:
  virtual ~TextFile() = default;
  virtual std::error_code AppendLine(const std::string& text) = 0;
};

enum class OpenMode {
  kOutput,  // Creates the file or empties an existing one.
  kAppend,  // Creates the file or appends to an existing one.
};

// The file primitives of a run, abstract so that tests can put an in-memory
// file system or a fault injector in their place. Paths may separate their
// components with "\" on every platform, because the steps join paths with
// it. No primitive retries on its own: each reports a failure through its
// error code and the calling step decides what the failure means.
class Files {
 public:
  virtual ~Files() = default;

  // Starts a new search, ending any earlier one, and stores in `*name` the
  // bare name (no folder) of the first entry that matches `pattern`, or ""
  // when none does. The last component of the pattern may hold the wildcards
  // "*" and "?", compared without regard to case; "*.*" matches every name.
  // Without `with_folders` only files match. Hidden entries never match. A
  // pattern without wildcards that names an existing folder, searched with
  // folders, gives that folder's own name.
  virtual std::error_code DirFirst(const std::string& pattern, bool with_folders,
                                   std::string* name) = 0;
  // The next entry of the most recent DirFirst search, or "" when exhausted.
  virtual std::error_code DirNext(std::string* name) = 0;

  // Deletes every file matching `pattern`; folders are left alone. Fails when
  // nothing matches or when a match cannot be deleted.
  virtual std::error_code KillFiles(const std::string& pattern) = 0;
  // Renames or moves a file or folder; fails when `to` exists.
  virtual std::error_code RenamePath(const std::string& from, const std::string& to) = 0;
  // Creates one folder whose parent exists; fails when it exists.
  virtual std::error_code MakeDir(const std::string& path) = 0;
  // Removes one empty folder.
  virtual std::error_code RemoveDir(const std::string& path) = 0;
  virtual std::error_code CurrentDir(std::string* path) = 0;
  // Sets the working directory of the drive that `path` names. On Windows a
  // path on another drive leaves the process's working directory unchanged.
  virtual std::error_code ChangeDir(const std::string& path) = 0;
  // Copies one file; with `overwrite` an existing destination is replaced.
  virtual std::error_code CopyFile(const std::string& from, const std::string& to,
                                   bool overwrite) = 0;
  // Copies one file by opening the source for reading with full sharing
  // (read, write and delete) and streaming it, so that a file another
  // program holds open for writing can still be copied. Replaces `to`; a
  // copy that fails part way leaves no destination behind.
  virtual std::error_code CopyOpenFile(const std::string& from, const std::string& to) = 0;
  // True when `error` says that another program holds the file open.
  virtual bool IsInUse(const std::error_code& error) = 0;
  // Bytes free for this process on the drive that holds `path`.
  virtual std::error_code FreeSpace(const std::string& path, std::uint64_t* bytes) = 0;
  // Deletes a folder with everything in it; with `force` read-only files too.
  virtual std::error_code DeleteFolder(const std::string& path, bool force) = 0;
  virtual std::error_code OpenText(const std::string& path, OpenMode mode,
                                   std::unique_ptr<TextFile>* file) = 0;
  // The size of a regular file; an error when `path` is missing or a folder.
  virtual std::error_code FileSize(const std::string& path, std::uint64_t* size) = 0;
};

}  // namespace quillet

#endif  // QUILLET_PLATFORM_FILES_H_
