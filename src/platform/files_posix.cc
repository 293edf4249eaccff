// POSIX backend of the file primitives, with the observable behaviour of the
// Windows file functions: wildcard search without regard to case, hidden
// (dot) entries never matching, "\" accepted as a separator.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/files.h"
#include "platform/platform.h"
#include "platform/posix_path.h"
#include "platform/wildcard.h"

namespace quillet {
namespace {

std::error_code LastError() { return std::error_code(errno, std::generic_category()); }

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool UpperLess(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::toupper(static_cast<unsigned char>(x)) <
           std::toupper(static_cast<unsigned char>(y));
  });
}

// Lists the entries of the folder part of `pattern` that match its last
// component, sorted without regard to case as an NTFS search returns them.
std::error_code Search(const std::string& pattern, bool with_folders,
                       std::vector<std::string>* names) {
  names->clear();
  std::string folder, last;
  SplitLastComponent(ToPosixPath(pattern), &folder, &last);
  if (last.empty()) return std::make_error_code(std::errc::invalid_argument);
  const std::string dir =
      pattern.find_first_of("\\/") == std::string::npos ? "." : (folder.empty() ? "/" : folder);
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) {
    // A folder that does not exist holds no matches; anything else is an error.
    if (errno == ENOENT || errno == ENOTDIR) return {};
    return LastError();
  }
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name.empty() || name[0] == '.') continue;
    if (!MatchesWildcard(last, name)) continue;
    const std::string full = dir + "/" + name;
    struct stat st;
    if (stat(full.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode) ? !with_folders : !S_ISREG(st.st_mode)) continue;
    names->push_back(name);
  }
  closedir(d);
  std::sort(names->begin(), names->end(), UpperLess);
  return {};
}

class PosixTextFile : public TextFile {
 public:
  explicit PosixTextFile(std::FILE* file) : file_(file) {}
  ~PosixTextFile() override { std::fclose(file_); }
  std::error_code AppendLine(const std::string& text) override {
    if (std::fputs(text.c_str(), file_) < 0 || std::fputs("\r\n", file_) < 0 ||
        std::fflush(file_) != 0) {
      return LastError();
    }
    return {};
  }

 private:
  std::FILE* file_;
};

std::error_code CopyContents(const std::string& from, const std::string& to) {
  const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return LastError();
  struct stat st;
  if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(in);
    return std::make_error_code(std::errc::invalid_argument);
  }
  const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 0777);
  if (out < 0) {
    std::error_code error = LastError();
    close(in);
    return error;
  }
  std::error_code error;
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
    if (n == 0 && (copied > 0 || st.st_size == 0)) {
      close(out);
      close(in);
      return {};
    }
    break;  // Unsupported here, or a failure the plain loop reports properly.
  }
  if (copied > 0 &&
      (lseek(in, 0, SEEK_SET) != 0 || lseek(out, 0, SEEK_SET) != 0 || ftruncate(out, 0) != 0)) {
    error = LastError();
  }
  std::vector<char> buffer(256 * 1024);
  for (; !error;) {
    const ssize_t n = read(in, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      error = LastError();
      break;
    }
    if (n == 0) break;
    for (ssize_t done = 0; done < n && !error;) {
      const ssize_t w = write(out, buffer.data() + done, n - done);
      if (w < 0 && errno != EINTR) error = LastError();
      if (w > 0) done += w;
    }
    if (error) break;
  }
  if (close(out) != 0 && !error) error = LastError();
  close(in);
  // A copy that failed half way must not pass for a complete one.
  if (error) unlink(to.c_str());
  return error;
}

class PosixFiles : public Files {
 public:
  std::error_code DirFirst(const std::string& pattern, bool with_folders,
                           std::string* name) override {
    matches_.clear();
    next_ = 0;
    if (std::error_code error = Search(pattern, with_folders, &matches_)) return error;
    return DirNext(name);
  }

  std::error_code DirNext(std::string* name) override {
    *name = next_ < matches_.size() ? matches_[next_++] : std::string();
    return {};
  }

  std::error_code KillFiles(const std::string& pattern) override {
    std::vector<std::string> names;
    if (std::error_code error = Search(pattern, false, &names)) return error;
    if (names.empty()) return std::make_error_code(std::errc::no_such_file_or_directory);
    std::string folder, last;
    SplitLastComponent(ToPosixPath(pattern), &folder, &last);
    const bool has_folder = pattern.find_first_of("\\/") != std::string::npos;
    std::error_code result;
    for (const std::string& name : names) {
      const std::string path = has_folder ? folder + "/" + name : name;
      if (unlink(path.c_str()) != 0) result = LastError();
    }
    return result;
  }

  std::error_code RenamePath(const std::string& from, const std::string& to) override {
    const std::string target = ToPosixPath(to);
    struct stat st;
    if (lstat(target.c_str(), &st) == 0) return std::make_error_code(std::errc::file_exists);
    if (rename(ToPosixPath(from).c_str(), target.c_str()) != 0) return LastError();
    return {};
  }

  std::error_code MakeDir(const std::string& path) override {
    if (mkdir(ToPosixPath(path).c_str(), 0777) != 0) return LastError();
    return {};
  }

  std::error_code RemoveDir(const std::string& path) override {
    if (rmdir(ToPosixPath(path).c_str()) != 0) return LastError();
    return {};
  }

  std::error_code CurrentDir(std::string* path) override {
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
      if (errno != ERANGE) return LastError();
      buffer.resize(buffer.size() * 2);
    }
    *path = buffer.data();
    return {};
  }

  std::error_code ChangeDir(const std::string& path) override {
    if (chdir(ToPosixPath(path).c_str()) != 0) return LastError();
    return {};
  }

  std::error_code CopyFile(const std::string& from, const std::string& to,
                           bool overwrite) override {
    const std::string target = ToPosixPath(to);
    if (!overwrite && access(target.c_str(), F_OK) == 0) {
      return std::make_error_code(std::errc::file_exists);
    }
    if (IsFolder(target)) return std::make_error_code(std::errc::is_a_directory);
    return CopyContents(ToPosixPath(from), target);
  }

  // POSIX has no sharing modes: an open file can always be read, so this is
  // the plain copy.
  std::error_code CopyOpenFile(const std::string& from, const std::string& to) override {
    return CopyFile(from, to, true);
  }

  bool IsInUse(const std::error_code& error) override {
    return error == std::errc::text_file_busy || error == std::errc::device_or_resource_busy;
  }

  std::error_code FreeSpace(const std::string& path, std::uint64_t* bytes) override {
    struct statvfs st;
    if (statvfs(ToPosixPath(path).c_str(), &st) != 0) return LastError();
    *bytes = static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
    return {};
  }

  std::error_code DeleteFolder(const std::string& path, bool force) override {
    return DeleteTree(ToPosixPath(path), force);
  }

  std::error_code OpenText(const std::string& path, OpenMode mode,
                           std::unique_ptr<TextFile>* file) override {
    std::FILE* f = std::fopen(ToPosixPath(path).c_str(), mode == OpenMode::kAppend ? "ab" : "wb");
    if (f == nullptr) return LastError();
    *file = std::make_unique<PosixTextFile>(f);
    return {};
  }

  std::error_code FileSize(const std::string& path, std::uint64_t* size) override {
    struct stat st;
    if (stat(ToPosixPath(path).c_str(), &st) != 0) return LastError();
    if (!S_ISREG(st.st_mode)) return std::make_error_code(std::errc::is_a_directory);
    *size = static_cast<std::uint64_t>(st.st_size);
    return {};
  }

 private:
  // Deletes depth first and goes on past entries that resist, so that as much
  // as possible is gone; the first failure is reported.
  static std::error_code DeleteTree(const std::string& dir, bool force) {
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) return LastError();
    std::error_code result;
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      const std::string path = dir + "/" + name;
      struct stat st;
      if (lstat(path.c_str(), &st) != 0) continue;
      std::error_code error;
      if (S_ISDIR(st.st_mode)) {
        error = DeleteTree(path, force);
      } else if (!force && access(path.c_str(), W_OK) != 0) {
        error = std::make_error_code(std::errc::permission_denied);
      } else if (unlink(path.c_str()) != 0) {
        error = LastError();
      }
      if (error && !result) result = error;
    }
    closedir(d);
    if (rmdir(dir.c_str()) != 0 && !result) result = LastError();
    return result;
  }

  std::vector<std::string> matches_;
  std::size_t next_ = 0;
};

}  // namespace

std::unique_ptr<Files> CreateFiles() { return std::make_unique<PosixFiles>(); }

}  // namespace quillet
