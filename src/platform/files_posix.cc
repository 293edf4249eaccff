// POSIX backend of the file primitives, with the observable behaviour of the
// Windows file functions: wildcard search without regard to case, hidden
// (dot) entries never matching, "\" accepted as a separator.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "platform/posix_path.h"
#include "platform/text.h"
#include "platform/wildcard.h"

namespace quillet {
namespace {

mode_t g_child_umask = 022;
bool g_umask_changed = false;

std::error_code Fail(std::errc e) { return std::make_error_code(e); }

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The entries of the folder part of `pattern` that match its last component,
// as Files::List gives them.
std::error_code Search(const std::string& pattern, bool with_folders,
                       std::vector<std::string>* names) {
  names->clear();
  std::string folder, last;
  SplitLastComponent(ToPosixPath(pattern), &folder, &last);
  if (last.empty()) return Fail(std::errc::invalid_argument);
  const std::string dir =
      pattern.find_first_of("\\/") == std::string::npos ? "." : (folder.empty() ? "/" : folder);
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) {
    // A folder that does not exist holds no matches; anything else is an error.
    if (errno == ENOENT || errno == ENOTDIR) return {};
    return LastPosixError();
  }
  // readdir tells a failure from the end of the folder only through errno; a
  // listing cut short by one is no listing.
  for (errno = 0; dirent* e = readdir(d); errno = 0) {
    const std::string name = e->d_name;
    if (name.empty() || name[0] == '.') continue;
    if (!MatchesWildcard(last, name)) continue;
    const std::string full = dir + "/" + name;
    struct stat st;
    if (stat(full.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode) ? !with_folders : !S_ISREG(st.st_mode)) continue;
    names->push_back(name);
  }
  const std::error_code error = LastPosixError();
  closedir(d);
  if (error) {
    names->clear();
    return error;
  }
  std::sort(names->begin(), names->end(), LessNoCase);
  return {};
}

class PosixTextFile : public TextFile {
 public:
  explicit PosixTextFile(std::FILE* file) : file_(file) {}
  ~PosixTextFile() override { std::fclose(file_); }
  std::error_code AppendLine(const std::string& text) override {
    if (std::fputs(text.c_str(), file_) < 0 || std::fputs("\r\n", file_) < 0 ||
        std::fflush(file_) != 0) {
      return LastPosixError();
    }
    return {};
  }

 private:
  std::FILE* file_;
};

class PosixInputFile : public InputFile {
 public:
  PosixInputFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  ~PosixInputFile() override { close(fd_); }
  std::uint64_t Size() override { return size_; }
  std::error_code ReadAt(std::uint64_t offset, void* buffer, std::size_t size,
                         std::size_t* got) override {
    for (;;) {
      const ssize_t n = pread(fd_, buffer, size, static_cast<off_t>(offset));
      if (n >= 0) {
        *got = static_cast<std::size_t>(n);
        return {};
      }
      if (errno != EINTR) return LastPosixError();
    }
  }

 private:
  int fd_;
  std::uint64_t size_;
};

class PosixOutputFile : public OutputFile {
 public:
  explicit PosixOutputFile(int fd) : fd_(fd) {}
  ~PosixOutputFile() override { close(fd_); }
  std::error_code WriteAt(std::uint64_t offset, const void* data, std::size_t size) override {
    const char* bytes = static_cast<const char*>(data);
    for (std::size_t done = 0; done < size;) {
      const ssize_t n = pwrite(fd_, bytes + done, size - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno != EINTR) return LastPosixError();
      if (n > 0) done += static_cast<std::size_t>(n);
    }
    return {};
  }
  std::error_code Resize(std::uint64_t size) override {
    if (ftruncate(fd_, static_cast<off_t>(size)) != 0) return LastPosixError();
    return {};
  }
  std::error_code Sync() override {
    if (fsync(fd_) != 0) return LastPosixError();
    return {};
  }

 private:
  int fd_;
};

// Writes what the system holds of the file or folder at `path` to the disk.
std::error_code SyncPath(const std::string& path, int flags) {
  const int fd = open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return LastPosixError();
  const std::error_code error = fsync(fd) != 0 ? LastPosixError() : std::error_code();
  close(fd);
  return error;
}

// Opens a regular file for reading; fills `*st`.
std::error_code OpenRegular(const std::string& path, int* fd, struct stat* st) {
  *fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (*fd < 0) return LastPosixError();
  if (fstat(*fd, st) != 0 || !S_ISREG(st->st_mode)) {
    const std::error_code error =
        S_ISDIR(st->st_mode) ? Fail(std::errc::is_a_directory) : Fail(std::errc::invalid_argument);
    close(*fd);
    return error;
  }
  return {};
}

std::error_code WriteAll(int out, const char* data, std::size_t size) {
  for (std::size_t done = 0; done < size;) {
    const ssize_t w = write(out, data + done, size - done);
    if (w < 0 && errno != EINTR) return LastPosixError();
    if (w > 0) done += static_cast<std::size_t>(w);
  }
  return {};
}

std::error_code CopyData(int in, int out, off_t size) {
  // The kernel copies without a round trip through this process where the
  // file systems allow it; otherwise the loop below reads and writes.
  off_t copied = 0;
  for (;;) {
    const ssize_t n = copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
    if (n > 0) {
      copied += n;
      continue;
    }
    // Some special file systems report an end at once although the file has
    // contents; only the plain loop can tell those.
    if (n == 0 && (copied > 0 || size == 0)) return {};
    break;  // Unsupported here, or a failure the plain loop reports properly.
  }
  if (copied > 0 &&
      (lseek(in, 0, SEEK_SET) != 0 || lseek(out, 0, SEEK_SET) != 0 || ftruncate(out, 0) != 0)) {
    return LastPosixError();
  }
  std::vector<char> buffer(256 * 1024);
  for (;;) {
    const ssize_t n = read(in, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return LastPosixError();
    if (n == 0) return {};
    if (std::error_code error = WriteAll(out, buffer.data(), static_cast<std::size_t>(n))) {
      return error;
    }
  }
}

std::error_code CopyContents(const std::string& from, const std::string& to) {
  int in = -1;
  struct stat st, target;
  if (std::error_code error = OpenRegular(from, &in, &st)) return error;
  // Opening the destination would empty it, and with it the source when the
  // two are one file under two names.
  if (stat(to.c_str(), &target) == 0 && SameFile(st, target)) {
    close(in);
    return make_error_code(Errc::kSameFile);
  }
  const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (out < 0) {
    const std::error_code error = LastPosixError();
    close(in);
    return error;
  }
  std::error_code error = CopyData(in, out, st.st_size);
  // The copy carries the time the log was last written, not the time of the run.
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (!error && futimens(out, times) != 0) error = LastPosixError();
  if (close(out) != 0 && !error) error = LastPosixError();
  close(in);
  // A copy that failed half way must not pass for a complete one.
  if (error) unlink(to.c_str());
  return error;
}

LocalTime ToLocal(time_t seconds) {
  struct tm parts;
  localtime_r(&seconds, &parts);
  return LocalTime{parts.tm_year + 1900,
                   parts.tm_mon + 1,
                   parts.tm_mday,
                   parts.tm_hour,
                   parts.tm_min,
                   parts.tm_sec,
                   static_cast<int>(parts.tm_gmtoff / 60)};
}

class PosixFiles : public Files {
 public:
  char Separator() const override { return '/'; }

  std::error_code List(const std::string& pattern, bool with_folders,
                       std::vector<std::string>* names) override {
    return Search(pattern, with_folders, names);
  }

  std::error_code KillFiles(const std::string& pattern) override {
    std::vector<std::string> names;
    if (std::error_code error = Search(pattern, false, &names)) return error;
    if (names.empty()) return Fail(std::errc::no_such_file_or_directory);
    std::string folder, last;
    SplitLastComponent(ToPosixPath(pattern), &folder, &last);
    const bool has_folder = pattern.find_first_of("\\/") != std::string::npos;
    std::error_code result;
    for (const std::string& name : names) {
      const std::string path = has_folder ? folder + "/" + name : name;
      if (unlink(path.c_str()) != 0) result = LastPosixError();
    }
    return result;
  }

  std::error_code DeleteFile(const std::string& path) override {
    if (unlink(ToPosixPath(path).c_str()) != 0) return LastPosixError();
    return {};
  }

  // POSIX cannot keep other programs from writing; a change while the file
  // is read shows in its size or time, and the name must still lead to the
  // file that was read.
  // A file's own permissions do not keep POSIX from deleting it, so `force`
  // changes nothing here.
  std::error_code DeleteVerified(const std::string& path,
                                 const std::function<bool(InputFile&)>& verify, bool) override {
    const std::string p = ToPosixPath(path);
    int fd = -1;
    struct stat before, after, named;
    if (std::error_code error = OpenRegular(p, &fd, &before)) return error;
    PosixInputFile file(fd, static_cast<std::uint64_t>(before.st_size));
    if (!verify(file) || fstat(fd, &after) != 0 || after.st_size != before.st_size ||
        after.st_mtim.tv_sec != before.st_mtim.tv_sec ||
        after.st_mtim.tv_nsec != before.st_mtim.tv_nsec || lstat(p.c_str(), &named) != 0 ||
        !SameFile(named, before)) {
      return make_error_code(Errc::kChanged);
    }
    if (unlink(p.c_str()) != 0) return LastPosixError();
    return {};
  }

  std::error_code RenamePath(const std::string& from, const std::string& to) override {
    const std::string target = ToPosixPath(to);
    struct stat st;
    if (lstat(target.c_str(), &st) == 0) return Fail(std::errc::file_exists);
    if (rename(ToPosixPath(from).c_str(), target.c_str()) != 0) return LastPosixError();
    return {};
  }

  std::error_code MakeDir(const std::string& path) override {
    if (mkdir(ToPosixPath(path).c_str(), 0777) != 0) return LastPosixError();
    return {};
  }

  std::error_code RemoveDir(const std::string& path) override {
    if (rmdir(ToPosixPath(path).c_str()) != 0) return LastPosixError();
    return {};
  }

  std::error_code CurrentDir(std::string* path) override {
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
      if (errno != ERANGE) return LastPosixError();
      buffer.resize(buffer.size() * 2);
    }
    *path = buffer.data();
    return {};
  }

  std::error_code ChangeDir(const std::string& path) override {
    if (chdir(ToPosixPath(path).c_str()) != 0) return LastPosixError();
    return {};
  }

  std::error_code CopyFile(const std::string& from, const std::string& to,
                           bool overwrite) override {
    const std::string target = ToPosixPath(to);
    if (!overwrite && access(target.c_str(), F_OK) == 0) return Fail(std::errc::file_exists);
    if (IsFolder(target)) return Fail(std::errc::is_a_directory);
    return CopyContents(ToPosixPath(from), target);
  }

  // POSIX has no sharing modes: an open file can always be read, so this is
  // the plain copy.
  std::error_code CopyOpenFile(const std::string& from, const std::string& to) override {
    return CopyFile(from, to, true);
  }

  std::error_code FreeSpace(const std::string& path, std::uint64_t* bytes) override {
    struct statvfs st;
    if (statvfs(ToPosixPath(path).c_str(), &st) != 0) return LastPosixError();
    *bytes = static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
    return {};
  }

  std::error_code ListFolder(const std::string& folder, std::vector<std::string>* names) override {
    names->clear();
    DIR* d = opendir(ToPosixPath(folder).c_str());
    if (d == nullptr) return LastPosixError();
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names->push_back(name);
    }
    closedir(d);
    return {};
  }

  std::error_code OpenWrite(const std::string& path, std::unique_ptr<OutputFile>* file) override {
    const int fd = open(ToPosixPath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return LastPosixError();
    *file = std::make_unique<PosixOutputFile>(fd);
    return {};
  }

  std::error_code SyncFile(const std::string& path) override {
    return SyncPath(ToPosixPath(path), O_RDONLY);
  }

  std::error_code SyncFolder(const std::string& folder) override {
    return SyncPath(ToPosixPath(folder), O_RDONLY | O_DIRECTORY);
  }

  std::error_code OpenText(const std::string& path, OpenMode mode,
                           std::unique_ptr<TextFile>* file) override {
    std::FILE* f = std::fopen(ToPosixPath(path).c_str(), mode == OpenMode::kAppend ? "ab" : "wb");
    if (f == nullptr) return LastPosixError();
    *file = std::make_unique<PosixTextFile>(f);
    return {};
  }

  std::error_code OpenRead(const std::string& path, std::unique_ptr<InputFile>* file) override {
    int fd = -1;
    struct stat st;
    if (std::error_code error = OpenRegular(ToPosixPath(path), &fd, &st)) return error;
    *file = std::make_unique<PosixInputFile>(fd, static_cast<std::uint64_t>(st.st_size));
    return {};
  }

  std::error_code CanCreateIn(const std::string& folder) override {
    struct stat st;
    const std::string path = ToPosixPath(folder);
    if (stat(path.c_str(), &st) != 0) return LastPosixError();
    if (!S_ISDIR(st.st_mode)) return std::make_error_code(std::errc::not_a_directory);
    if (access(path.c_str(), W_OK | X_OK) != 0) return LastPosixError();
    return {};
  }

  std::error_code Stat(const std::string& path, FileInfo* info) override {
    struct stat st;
    if (stat(ToPosixPath(path).c_str(), &st) != 0) return LastPosixError();
    info->size = static_cast<std::uint64_t>(st.st_size);
    info->modified = ToLocal(st.st_mtim.tv_sec);
    info->folder = S_ISDIR(st.st_mode);
    struct stat own;
    info->link = lstat(ToPosixPath(path).c_str(), &own) == 0 && S_ISLNK(own.st_mode);
    info->id = FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return {};
  }
};

}  // namespace

std::unique_ptr<Files> CreateFiles() { return std::make_unique<PosixFiles>(); }

void KeepNewFilesPrivate() {
  const mode_t old = umask(077);
  if (!g_umask_changed) g_child_umask = old;
  g_umask_changed = true;
}

mode_t ChildUmask() { return g_umask_changed ? g_child_umask : umask(umask(0)); }

}  // namespace quillet
