// Windows backend of the file primitives, over the ANSI file functions.
#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "platform/wildcard.h"
#include "platform/win32.h"

namespace quillet {
namespace {

std::error_code LastError() { return LastWin32Error(); }

bool NeverMatches(const WIN32_FIND_DATAA& data) {
  const std::string name = data.cFileName;
  return name == "." || name == ".." ||
         (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
}

bool IsFolder(const WIN32_FIND_DATAA& data) {
  return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool NotFound(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_NO_MORE_FILES;
}

// The folder part of a pattern with its separator, "" when it has none.
std::string FolderPrefix(const std::string& pattern) {
  const std::size_t cut = pattern.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : pattern.substr(0, cut + 1);
}

class Win32TextFile : public TextFile {
 public:
  explicit Win32TextFile(HANDLE file) : file_(file) {}
  ~Win32TextFile() override { CloseHandle(file_); }
  std::error_code AppendLine(const std::string& text) override {
    const std::string line = text + "\r\n";
    DWORD written = 0;
    if (!WriteFile(file_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
        written != line.size()) {
      return LastError();
    }
    return {};
  }

 private:
  HANDLE file_;
};

class Win32InputFile : public InputFile {
 public:
  Win32InputFile(HANDLE file, std::uint64_t size) : file_(file), size_(size) {}
  ~Win32InputFile() override { CloseHandle(file_); }
  std::uint64_t Size() override { return size_; }
  std::error_code ReadAt(std::uint64_t offset, void* buffer, std::size_t size,
                         std::size_t* got) override {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!ReadFile(file_, buffer, wanted, &read, &at) && GetLastError() != ERROR_HANDLE_EOF) {
      return LastError();
    }
    *got = read;
    return {};
  }

 private:
  HANDLE file_;
  std::uint64_t size_;
};

class Win32OutputFile : public OutputFile {
 public:
  explicit Win32OutputFile(HANDLE file) : file_(file) {}
  ~Win32OutputFile() override { CloseHandle(file_); }
  std::error_code WriteAt(std::uint64_t offset, const void* data, std::size_t size) override {
    const char* bytes = static_cast<const char*>(data);
    for (std::size_t done = 0; done < size;) {
      OVERLAPPED at = {};
      at.Offset = static_cast<DWORD>(offset + done);
      at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
      const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
      DWORD written = 0;
      if (!WriteFile(file_, bytes + done, wanted, &written, &at)) return LastError();
      if (written == 0) return Win32Error(ERROR_WRITE_FAULT);
      done += written;
    }
    return {};
  }
  std::error_code Resize(std::uint64_t size) override {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFilePointerEx(file_, at, nullptr, FILE_BEGIN) || !SetEndOfFile(file_)) {
      return LastError();
    }
    return {};
  }
  std::error_code Sync() override {
    if (!FlushFileBuffers(file_)) return LastError();
    return {};
  }

 private:
  HANDLE file_;
};

// Opens a file for reading with the given sharing and extra access.
std::error_code OpenForReading(const std::string& path, DWORD access, DWORD share,
                               std::unique_ptr<InputFile>* file) {
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | access, share, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastError();
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handle, &size)) {
    const std::error_code error = LastError();
    CloseHandle(handle);
    return error;
  }
  *file = std::make_unique<Win32InputFile>(handle, static_cast<std::uint64_t>(size.QuadPart));
  return {};
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The volume and file number of an existing file or folder.
std::error_code Identity(const std::string& path, FileId* id) {
  HANDLE handle = CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastError();
  BY_HANDLE_FILE_INFORMATION info;
  const bool read = GetFileInformationByHandle(handle, &info) != FALSE;
  const std::error_code error = read ? std::error_code() : LastError();
  CloseHandle(handle);
  if (read) {
    *id = FileId{info.dwVolumeSerialNumber,
                 (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  }
  return error;
}

// True when `to` exists and is the file `from` names.
bool IsSameFile(const std::string& from, const std::string& to) {
  FileId a, b;
  return !Identity(from, &a) && !Identity(to, &b) && a == b;
}

class Win32Files : public Files {
 public:
  char Separator() const override { return '\\'; }

  std::error_code List(const std::string& pattern, bool with_folders,
                       std::vector<std::string>* names) override {
    names->clear();
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      return NotFound(error) ? std::error_code() : Win32Error(error);
    }
    do {
      if (!NeverMatches(data) && (with_folders || !IsFolder(data)))
        names->push_back(data.cFileName);
    } while (FindNextFileA(search, &data));
    // A search cut short by a failure is no listing.
    const DWORD error = GetLastError();
    FindClose(search);
    if (error != ERROR_NO_MORE_FILES) {
      names->clear();
      return Win32Error(error);
    }
    // The order of a search is the file system's own; NTFS sorts, others do not.
    std::sort(names->begin(), names->end(), LessNoCase);
    return {};
  }

  std::error_code KillFiles(const std::string& pattern) override {
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return LastError();
    std::vector<std::string> names;
    do {
      if (!NeverMatches(data) && !IsFolder(data)) names.push_back(data.cFileName);
    } while (FindNextFileA(search, &data));
    FindClose(search);
    if (names.empty()) return Win32Error(ERROR_FILE_NOT_FOUND);
    std::error_code result;
    for (const std::string& name : names) {
      if (!DeleteFileA((FolderPrefix(pattern) + name).c_str())) result = LastError();
    }
    return result;
  }

  std::error_code DeleteFile(const std::string& path) override {
    if (!DeleteFileA(path.c_str())) return LastError();
    return {};
  }

  // Without write sharing no other program can open the file for writing
  // while it is read, and one that holds it open for writing already makes
  // the open fail. Delete sharing lets the file go while it is still open.
  std::error_code DeleteVerified(const std::string& path,
                                 const std::function<bool(InputFile&)>& verify,
                                 bool force) override {
    std::unique_ptr<InputFile> file;
    if (std::error_code error =
            OpenForReading(path, DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, &file)) {
      return error;
    }
    if (!verify(*file)) return make_error_code(Errc::kChanged);
    // Windows deletes no read-only file; the attribute goes first, and comes
    // back when the file stays all the same.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    const bool read_only = force && attributes != INVALID_FILE_ATTRIBUTES &&
                           (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (read_only) SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!DeleteFileA(path.c_str())) {
      const std::error_code error = LastError();
      if (read_only) SetFileAttributesA(path.c_str(), attributes);
      return error;
    }
    return {};
  }

  std::error_code RenamePath(const std::string& from, const std::string& to) override {
    // Written through, so that a renamed archive keeps its name over a power cut.
    if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return LastError();
    return {};
  }

  std::error_code MakeDir(const std::string& path) override {
    if (!CreateDirectoryA(path.c_str(), nullptr)) return LastError();
    return {};
  }

  std::error_code RemoveDir(const std::string& path) override {
    if (!RemoveDirectoryA(path.c_str())) return LastError();
    return {};
  }

  std::error_code CurrentDir(std::string* path) override {
    std::vector<char> buffer(MAX_PATH + 1);
    DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
    if (n >= buffer.size()) {
      buffer.resize(n + 1);
      n = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
    }
    if (n == 0 || n >= buffer.size()) return LastError();
    path->assign(buffer.data(), n);
    return {};
  }

  // A path on another drive only sets that drive's own working directory
  // (kept by Windows in the variable "=X:"); the process stays where it is.
  std::error_code ChangeDir(const std::string& path) override {
    std::string current;
    if (std::error_code error = CurrentDir(&current)) return error;
    const bool has_drive = path.size() >= 2 && path[1] == ':';
    if (has_drive && !current.empty() &&
        std::toupper(static_cast<unsigned char>(path[0])) !=
            std::toupper(static_cast<unsigned char>(current[0]))) {
      const DWORD attributes = GetFileAttributesA(path.c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES) return LastError();
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return Win32Error(ERROR_DIRECTORY);
      }
      const std::string variable = std::string("=") + path.substr(0, 2);
      if (!SetEnvironmentVariableA(variable.c_str(), path.c_str())) return LastError();
      return {};
    }
    if (!SetCurrentDirectoryA(path.c_str())) return LastError();
    return {};
  }

  std::error_code CopyFile(const std::string& from, const std::string& to,
                           bool overwrite) override {
    if (IsSameFile(from, to)) return make_error_code(Errc::kSameFile);
    if (!CopyFileA(from.c_str(), to.c_str(), overwrite ? FALSE : TRUE)) return LastError();
    return {};
  }

  std::error_code CopyOpenFile(const std::string& from, const std::string& to) override {
    if (IsSameFile(from, to)) return make_error_code(Errc::kSameFile);
    HANDLE in = CreateFileA(from.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (in == INVALID_HANDLE_VALUE) return LastError();
    HANDLE out = CreateFileA(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
      const std::error_code error = LastError();
      CloseHandle(in);
      return error;
    }
    std::vector<char> buffer(256 * 1024);
    std::error_code error;
    for (;;) {
      DWORD read = 0, written = 0;
      if (!ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
        error = LastError();
        break;
      }
      if (read == 0) break;
      if (!WriteFile(out, buffer.data(), read, &written, nullptr) || written != read) {
        error = LastError();
        break;
      }
    }
    // The copy carries the time the log was last written, as CopyFileA's do.
    FILETIME written;
    if (!error && (!GetFileTime(in, nullptr, nullptr, &written) ||
                   !SetFileTime(out, nullptr, nullptr, &written))) {
      error = LastError();
    }
    CloseHandle(out);
    CloseHandle(in);
    // A copy that failed half way must not pass for a complete one.
    if (error) DeleteFileA(to.c_str());
    return error;
  }

  std::error_code FreeSpace(const std::string& path, std::uint64_t* bytes) override {
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(path.c_str(), &available, nullptr, nullptr)) return LastError();
    *bytes = available.QuadPart;
    return {};
  }

  std::error_code ListFolder(const std::string& folder, std::vector<std::string>* names) override {
    names->clear();
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return LastError();
    do {
      const std::string name = data.cFileName;
      if (name != "." && name != "..") names->push_back(name);
    } while (FindNextFileA(search, &data));
    FindClose(search);
    return {};
  }

  std::error_code OpenWrite(const std::string& path, std::unique_ptr<OutputFile>* file) override {
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastError();
    *file = std::make_unique<Win32OutputFile>(handle);
    return {};
  }

  // FlushFileBuffers needs a handle that may write; sharing everything lets
  // the file stay open elsewhere meanwhile.
  std::error_code SyncFile(const std::string& path) override {
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastError();
    const std::error_code error = FlushFileBuffers(handle) ? std::error_code() : LastError();
    CloseHandle(handle);
    return error;
  }

  // Renames are written through (see RenamePath), so no folder needs this.
  std::error_code SyncFolder(const std::string&) override { return {}; }

  std::error_code OpenText(const std::string& path, OpenMode mode,
                           std::unique_ptr<TextFile>* file) override {
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                mode == OpenMode::kAppend ? OPEN_ALWAYS : CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastError();
    if (mode == OpenMode::kAppend &&
        SetFilePointer(handle, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR) {
      std::error_code error = LastError();
      CloseHandle(handle);
      return error;
    }
    *file = std::make_unique<Win32TextFile>(handle);
    return {};
  }

  std::error_code OpenRead(const std::string& path, std::unique_ptr<InputFile>* file) override {
    return OpenForReading(path, 0, kShareAll, file);
  }

  std::error_code CanCreateIn(const std::string& folder) override {
    // Only creating a file answers for every kind of permission; the trial
    // file goes when its handle closes.
    const std::string trial =
        folder + "\\~quillet-" + std::to_string(GetCurrentProcessId()) + ".tmp";
    HANDLE handle = CreateFileA(trial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      return error == ERROR_FILE_EXISTS ? std::error_code() : Win32Error(error);
    }
    CloseHandle(handle);
    return {};
  }

  std::error_code Stat(const std::string& path, FileInfo* info) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return LastError();
    info->size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    info->folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info->link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    FILETIME local;
    SYSTEMTIME t;
    if (FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) &&
        FileTimeToSystemTime(&local, &t)) {
      // FileTimeToLocalFileTime applies the offset in force now, not the one
      // of the file's date, so that is the offset this time carries.
      info->modified = LocalTime{
          t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, CurrentUtcOffsetMinutes()};
    }
    return Identity(path, &info->id);
  }
};

}  // namespace

std::unique_ptr<Files> CreateFiles() { return std::make_unique<Win32Files>(); }

// New files inherit the permissions of their folder on Windows.
void KeepNewFilesPrivate() {}

}  // namespace quillet
