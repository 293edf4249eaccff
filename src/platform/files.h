// File primitives that every step of a run works through.
#ifndef QUILLET_PLATFORM_FILES_H_
#define QUILLET_PLATFORM_FILES_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/clock.h"

namespace quillet {

// A text file opened by a step. Each line is written as it comes, followed by
// CR LF, in the system's single-byte code page. The file is closed when the
// object is destroyed.
class TextFile {
 public:
  virtual ~TextFile() = default;
  virtual std::error_code AppendLine(const std::string& text) = 0;
};

// A file opened for reading at any offset.
class InputFile {
 public:
  virtual ~InputFile() = default;
  // The file's size when it was opened.
  virtual std::uint64_t Size() = 0;
  // Reads up to `size` bytes at `offset` into `buffer`; `*got` is 0 at the end.
  virtual std::error_code ReadAt(std::uint64_t offset, void* buffer, std::size_t size,
                                 std::size_t* got) = 0;
};

// A file opened for writing at any offset; closed when the object is
// destroyed. Other programs may read it meanwhile.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // Writes all `size` bytes at `offset`; a file shorter than `offset` grows,
  // with zeros in between.
  virtual std::error_code WriteAt(std::uint64_t offset, const void* data, std::size_t size) = 0;
  // Cuts the file, or lengthens it with zeros, to `size` bytes.
  virtual std::error_code Resize(std::uint64_t size) = 0;
  // Returns once everything written to the file is on the disk, so that a
  // power cut afterwards cannot take it back.
  virtual std::error_code Sync() = 0;
};

enum class OpenMode {
  kOutput,  // Creates the file or empties an existing one.
  kAppend,  // Creates the file or appends to an existing one.
};

// What tells one file from another on its system, whatever name it is
// reached by: the volume and the file's number on it.
struct FileId {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FileId& other) const {
    return volume == other.volume && index == other.index;
  }
  bool operator<(const FileId& other) const {
    return volume != other.volume ? volume < other.volume : index < other.index;
  }
};

struct FileInfo {
  std::uint64_t size = 0;
  LocalTime modified;  // Local time of the last write.
  bool folder = false;
  // A symbolic link, junction or other redirection to another place; a
  // deletion never goes through one.
  bool link = false;
  FileId id;
};

// The file primitives of a run, abstract so that tests can put an in-memory
// file system or a fault injector in their place. Paths may separate their
// components with "\" on every platform; Separator() is the one the system
// writes itself. No primitive retries on its own: each reports a failure
// through its error code, comparable with the portable conditions of
// platform/errors.h, and the calling step decides what the failure means.
class Files {
 public:
  virtual ~Files() = default;

  // The separator of path components as the system writes paths.
  virtual char Separator() const = 0;
  // `folder`, the separator and `name`.
  std::string Join(const std::string& folder, const std::string& name) const {
    return folder + Separator() + name;
  }
  // A path written with "\" in the form the system writes it.
  std::string Native(std::string path) const {
    for (char& c : path) {
      if (c == '\\') c = Separator();
    }
    return path;
  }

  // Stores in `*names` the bare names (no folder) of the entries that match
  // `pattern`, in the order of LessNoCase (platform/text.h) on every system:
  // byte by byte with the letters A to Z as capitals, as NTFS orders such
  // names; names that differ only in case come in byte order. The last
  // component of the pattern may hold the wildcards "*" and "?", compared
  // without regard to case; "*.*" matches every name, with or without a dot.
  // Without `with_folders` only files match. Hidden entries, and on Windows
  // system entries, never match. A pattern without wildcards that names an
  // existing folder, searched with folders, gives that folder's own name. A
  // folder that does not exist holds no matches and is no error. On failure
  // `*names` is empty.
  virtual std::error_code List(const std::string& pattern, bool with_folders,
                               std::vector<std::string>* names) = 0;

  // Deletes every file matching `pattern`; folders are left alone. Fails when
  // nothing matches or when a match cannot be deleted.
  virtual std::error_code KillFiles(const std::string& pattern) = 0;
  // Deletes the one file that `path` names exactly: no wildcards, no other
  // spelling of the name.
  virtual std::error_code DeleteFile(const std::string& path) = 0;
  // Opens the file that `path` names so that no other program can write to
  // it meanwhile, lets `verify` read it, and deletes it only when `verify`
  // returns true; otherwise fails with Errc::kChanged. A file that another
  // program holds open for writing is not deleted. A read-only file is
  // deleted only with `force`.
  virtual std::error_code DeleteVerified(const std::string& path,
                                         const std::function<bool(InputFile&)>& verify,
                                         bool force) = 0;
  // Renames or moves a file or folder; fails when `to` exists. On Windows
  // the new name is on the disk when the call returns; on POSIX only after
  // SyncFolder of the folder that holds it.
  virtual std::error_code RenamePath(const std::string& from, const std::string& to) = 0;
  // Creates one folder whose parent exists; fails when it exists.
  virtual std::error_code MakeDir(const std::string& path) = 0;
  // Removes one empty folder.
  virtual std::error_code RemoveDir(const std::string& path) = 0;
  virtual std::error_code CurrentDir(std::string* path) = 0;
  // Sets the working directory of the drive that `path` names. On Windows a
  // path on another drive leaves the process's working directory unchanged.
  virtual std::error_code ChangeDir(const std::string& path) = 0;
  // Copies one file, keeping its time of last write; with `overwrite` an
  // existing destination is replaced. A destination that is the source
  // itself fails with Errc::kSameFile and is left untouched. A copy that
  // fails part way leaves no destination behind.
  virtual std::error_code CopyFile(const std::string& from, const std::string& to,
                                   bool overwrite) = 0;
  // Copies one file as CopyFile does with `overwrite`, but opens the source
  // for reading with full sharing (read, write and delete), so that a file
  // another program holds open for writing can still be copied.
  virtual std::error_code CopyOpenFile(const std::string& from, const std::string& to) = 0;
  // Bytes free for this process on the drive that holds `path`.
  virtual std::error_code FreeSpace(const std::string& path, std::uint64_t* bytes) = 0;
  // Every entry of `folder` by its bare name, hidden ones, folders and links
  // included, in no particular order.
  virtual std::error_code ListFolder(const std::string& folder,
                                     std::vector<std::string>* names) = 0;
  // Creates the file at `path`, or empties an existing one, for writing.
  virtual std::error_code OpenWrite(const std::string& path, std::unique_ptr<OutputFile>* file) = 0;
  // Returns once the contents of the existing file at `path` are on the disk.
  virtual std::error_code SyncFile(const std::string& path) = 0;
  // Returns once the names in `folder` (a rename into it, for instance) are
  // on the disk. Windows writes names through at once, so there it does
  // nothing.
  virtual std::error_code SyncFolder(const std::string& folder) = 0;
  virtual std::error_code OpenText(const std::string& path, OpenMode mode,
                                   std::unique_ptr<TextFile>* file) = 0;
  // Opens a file for reading with full sharing, as CopyOpenFile does.
  virtual std::error_code OpenRead(const std::string& path, std::unique_ptr<InputFile>* file) = 0;
  // Size, time, kind and identity of a file or folder.
  virtual std::error_code Stat(const std::string& path, FileInfo* info) = 0;
  // No error when this process may create files in the folder `folder`;
  // otherwise the error that creating one would meet (no such folder, no
  // permission, a read-only medium). Leaves nothing behind.
  virtual std::error_code CanCreateIn(const std::string& folder) = 0;
};

}  // namespace quillet

#endif  // QUILLET_PLATFORM_FILES_H_
