#include "collection_util.h"

#include <algorithm>
#include <cctype>

namespace quillet_test {
namespace {

// Signatures and fixed sizes of the classic zip records.
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kCentralSize = 46;
// The end record may be followed by a comment of at most this many bytes.
constexpr std::size_t kMaxComment = 0xFFFF;

// A holder keeps its file far longer than any test runs; the test ends it.
constexpr char kHoldSeconds[] = "600";

std::uint32_t Read16(const std::string& data, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(data[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + 1])) << 8;
}

std::uint32_t Read32(const std::string& data, std::size_t at) {
  return Read16(data, at) | Read16(data, at + 2) << 16;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

std::string ReadTextFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "";
  std::string content;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    content.append(buffer, got);
  }
  CloseHandle(file);
  return content;
}

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ListZip(const std::string& path, std::vector<ZipEntry>* entries, std::string* error) {
  entries->clear();
  const std::string data = ReadTextFile(path);
  if (data.size() < kEndSize) {
    *error = "too short for a zip archive: " + std::to_string(data.size()) + " bytes";
    return false;
  }
  // The end record is the last place its signature occurs, searched back
  // over the longest comment it may carry.
  std::size_t end = data.size() - kEndSize;
  const std::size_t lowest = end > kMaxComment ? end - kMaxComment : 0;
  while (Read32(data, end) != kEndSignature) {
    if (end == lowest) {
      *error = "no end of central directory record";
      return false;
    }
    --end;
  }
  const std::uint32_t count = Read16(data, end + 10);
  std::size_t at = Read32(data, end + 16);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (at + kCentralSize > data.size() || Read32(data, at) != kCentralSignature) {
      *error = "central directory entry " + std::to_string(i) + " is damaged";
      return false;
    }
    const std::size_t name_length = Read16(data, at + 28);
    const std::size_t extra_length = Read16(data, at + 30);
    const std::size_t comment_length = Read16(data, at + 32);
    entries->push_back(
        ZipEntry{data.substr(at + kCentralSize, name_length), Read32(data, at + 24)});
    at += kCentralSize + name_length + extra_length + comment_length;
  }
  return true;
}

std::uint64_t LastWriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 |
         data.ftLastWriteTime.dwLowDateTime;
}

bool SetLastWriteTime(const std::string& path, std::uint64_t time) {
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME stamp;
  stamp.dwLowDateTime = static_cast<DWORD>(time);
  stamp.dwHighDateTime = static_cast<DWORD>(time >> 32);
  const BOOL ok = SetFileTime(file, nullptr, nullptr, &stamp);
  CloseHandle(file);
  return ok != FALSE;
}

std::vector<std::string> SortedNoCase(std::vector<std::string> names) {
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
  return names;
}

bool ProcessHasEnded(DWORD process_id) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, process_id);
  if (process == nullptr) return true;
  DWORD code = STILL_ACTIVE;
  const BOOL known = GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return known && code != STILL_ACTIVE;
}

HeldFile::~HeldFile() {
  Release();
  if (process_ != nullptr) CloseHandle(process_);
  if (output_ != nullptr) CloseHandle(output_);
}

bool HeldFile::Start(const std::string& program, const std::string& path, const std::string& mode,
                     DWORD timeout_ms) {
  SECURITY_ATTRIBUTES inherit = {};
  inherit.nLength = sizeof(inherit);
  inherit.bInheritHandle = TRUE;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&output_, &write_end, &inherit, 0)) {
    error_ = "CreatePipe failed with error " + std::to_string(GetLastError());
    return false;
  }
  // Only the holder may inherit the writing end; a reading end that the
  // program under test inherited later would outlive this object.
  SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  PROCESS_INFORMATION info = {};
  std::string line = "\"" + program + "\" \"" + path + "\" " + mode + " " + kHoldSeconds;
  std::vector<char> command(line.begin(), line.end());
  command.push_back('\0');
  const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &info);
  const DWORD start_error = GetLastError();
  CloseHandle(write_end);
  if (!started) {
    error_ = "CreateProcessA(" + line + ") failed with error " + std::to_string(start_error);
    return false;
  }
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  return WaitForReady(timeout_ms);
}

bool HeldFile::WaitForReady(DWORD timeout_ms) {
  // The pipe is polled rather than read, so that a holder that never writes
  // cannot keep the test waiting past its time.
  std::string output;
  const DWORD start = GetTickCount();
  // The holder writes a bare "\n"; a text-mode "\r\n" is accepted as well.
  while (output.find("ready\n") == std::string::npos &&
         output.find("ready\r\n") == std::string::npos) {
    DWORD available = 0;
    if (!PeekNamedPipe(output_, nullptr, 0, nullptr, &available, nullptr)) {
      error_ = "the holder ended before the file was open; it said: " + output;
      return false;
    }
    if (available > 0) {
      std::string chunk(available, '\0');
      DWORD got = 0;
      if (ReadFile(output_, &chunk[0], available, &got, nullptr)) output.append(chunk, 0, got);
      continue;
    }
    if (GetTickCount() - start >= timeout_ms) {
      error_ = "the holder did not report within " + std::to_string(timeout_ms) +
               " ms; it said: " + output;
      return false;
    }
    Sleep(20);
  }
  return true;
}

void HeldFile::Release() {
  if (process_ == nullptr) return;
  if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_, 255);
    WaitForSingleObject(process_, 10000);
  }
}

}  // namespace quillet_test
