#include "win_test_util.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>

namespace quillet_test {
namespace {

// How often the waits look again at a child, its output and its windows.
constexpr DWORD kPollMs = 50;

// How long the rest of an ended child's output may take to arrive.
constexpr DWORD kOutputEndMs = 5000;

// Wine's message box and the one of Windows give the message's static
// control different ids; both are tried before looking at every child.
constexpr int kMessageTextIds[] = {0xFFFF, 100};

constexpr std::uint32_t kZipEndSignature = 0x06054b50;
constexpr std::uint32_t kZipCentralSignature = 0x02014b50;
constexpr std::size_t kZipEndSize = 22;
constexpr std::size_t kZipCentralSize = 46;
constexpr std::size_t kZipMaxComment = 0xFFFF;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string WindowClass(HWND window) {
  char name[256] = {};
  const int length = GetClassNameA(window, name, sizeof(name));
  return std::string(name, length > 0 ? length : 0);
}

// Removes `folder` and everything below it, as far as it can.
void RemoveTree(const std::string& folder) {
  for (const std::string& name : ListFolder(folder)) {
    const std::string path = folder + "\\" + name;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) continue;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      RemoveTree(path);
    } else {
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(path.c_str());
    }
  }
  RemoveDirectoryA(folder.c_str());
}

// This process's environment with `overrides` in place of the entries of
// the same name, as the block that CreateProcessA takes: entries ended by
// NUL, and one more NUL at the end.
std::vector<char> EnvironmentBlock(const std::vector<std::string>& overrides) {
  auto name_of = [](const std::string& entry) {
    // Entries such as "=C:=C:\\" that Windows keeps per drive begin with
    // "=", which is part of their name.
    return Lower(entry.substr(0, entry.find('=', 1)));
  };
  std::vector<std::string> entries;
  if (char* strings = GetEnvironmentStringsA()) {
    for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) {
      entries.emplace_back(entry);
    }
    FreeEnvironmentStringsA(strings);
  }
  for (const std::string& override_entry : overrides) {
    const std::string name = name_of(override_entry);
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const std::string& e) { return name_of(e) == name; }),
                  entries.end());
    entries.push_back(override_entry);
  }
  std::vector<char> block;
  for (const std::string& entry : entries) {
    block.insert(block.end(), entry.begin(), entry.end());
    block.push_back('\0');
  }
  block.push_back('\0');
  return block;
}

struct WindowQuery {
  DWORD process_id;
  std::string class_name;
  std::string title;
  HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM param) {
  auto* query = reinterpret_cast<WindowQuery*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != query->process_id || !IsWindowVisible(window)) return TRUE;
  if (!query->class_name.empty() && WindowClass(window) != query->class_name) return TRUE;
  if (!query->title.empty() && WindowTitle(window) != query->title) return TRUE;
  query->found = window;
  return FALSE;
}

BOOL CALLBACK CollectStaticTexts(HWND child, LPARAM param) {
  auto* texts = reinterpret_cast<std::vector<std::string>*>(param);
  if (Lower(WindowClass(child)) == "static") {
    const std::string text = WindowTitle(child);
    if (!text.empty()) texts->push_back(text);
  }
  return TRUE;
}

}  // namespace

// The output of a child, filled by a reader thread. The thread owns a share
// of it and is never joined: a grandchild that inherited the pipe could keep
// it open after the child ended, and the test must not hang on that. The
// thread is a plain Win32 one, since the C++ library of the release
// toolchain has no std::thread; readers poll what it has gathered.
struct ChildProcess::Capture {
  explicit Capture(HANDLE output) : pipe(output) { InitializeCriticalSection(&lock); }
  ~Capture() {
    CloseHandle(pipe);
    DeleteCriticalSection(&lock);
  }
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;

  // The output so far.
  std::string Text() {
    EnterCriticalSection(&lock);
    std::string copy = text;
    LeaveCriticalSection(&lock);
    return copy;
  }

  // Whether the pipe has ended, so that no more output will come.
  bool Done() {
    EnterCriticalSection(&lock);
    const bool ended = done;
    LeaveCriticalSection(&lock);
    return ended;
  }

  // Appends what arrives until the pipe ends; takes its own share of the
  // capture, which `param` points to.
  static DWORD WINAPI Read(void* param) {
    std::unique_ptr<std::shared_ptr<Capture>> owner(static_cast<std::shared_ptr<Capture>*>(param));
    Capture& capture = **owner;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(capture.pipe, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
      EnterCriticalSection(&capture.lock);
      capture.text.append(buffer, got);
      LeaveCriticalSection(&capture.lock);
    }
    EnterCriticalSection(&capture.lock);
    capture.done = true;
    LeaveCriticalSection(&capture.lock);
    return 0;
  }

  HANDLE pipe;
  CRITICAL_SECTION lock;
  std::string text;
  bool done = false;
};

std::string WinePathFromLinux(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  std::string result = "Z:" + path;
  std::replace(result.begin(), result.end(), '/', '\\');
  return result;
}

bool ContainsNoCase(const std::string& text, const std::string& part) {
  return Lower(text).find(Lower(part)) != std::string::npos;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && Lower(text.substr(0, prefix.size())) == Lower(prefix);
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start >= timeout_ms) return false;
    Sleep(kPollMs);
  }
  return true;
}

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WriteTextFile(const std::string& path, const std::string& content) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == content.size();
}

std::string ReadTextFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "";
  std::string content;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    content.append(buffer, got);
  }
  CloseHandle(file);
  return content;
}

std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = entry.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

std::uint32_t ReadU16(const std::string& data, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(data[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + 1])) << 8;
}

std::uint32_t ReadU32(const std::string& data, std::size_t at) {
  return ReadU16(data, at) | ReadU16(data, at + 2) << 16;
}

bool ListZip(const std::string& data, std::vector<ZipEntry>* entries, std::string* error) {
  entries->clear();
  if (data.size() < kZipEndSize) {
    *error = "too short for a zip archive: " + std::to_string(data.size()) + " bytes";
    return false;
  }
  // The end record is the last place its signature occurs, searched back
  // over the longest comment it may carry.
  std::size_t end = data.size() - kZipEndSize;
  const std::size_t lowest = end > kZipMaxComment ? end - kZipMaxComment : 0;
  while (ReadU32(data, end) != kZipEndSignature) {
    if (end == lowest) {
      *error = "no end of central directory record";
      return false;
    }
    --end;
  }
  const std::uint32_t count = ReadU16(data, end + 10);
  std::size_t at = ReadU32(data, end + 16);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (at + kZipCentralSize > data.size() || ReadU32(data, at) != kZipCentralSignature) {
      *error = "central directory entry " + std::to_string(i) + " is damaged";
      return false;
    }
    const std::size_t name_length = ReadU16(data, at + 28);
    ZipEntry entry;
    entry.name = data.substr(at + kZipCentralSize, name_length);
    entry.method = static_cast<int>(ReadU16(data, at + 10));
    entry.compressed_size = ReadU32(data, at + 20);
    entry.size = ReadU32(data, at + 24);
    entry.local_offset = ReadU32(data, at + 42);
    entries->push_back(entry);
    at += kZipCentralSize + name_length + ReadU16(data, at + 30) + ReadU16(data, at + 32);
  }
  return true;
}

TempFolder::TempFolder() {
  static std::atomic<int> counter{0};
  char temp[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(MAX_PATH, temp);
  if (length == 0 || length > MAX_PATH) return;
  // The long form of the temporary folder, so that paths built here compare
  // equal to what the child reports from GetModuleFileNameA.
  char long_temp[MAX_PATH + 1] = {};
  const DWORD long_length = GetLongPathNameA(temp, long_temp, MAX_PATH);
  std::string base = long_length > 0 && long_length <= MAX_PATH ? long_temp : temp;
  if (!base.empty() && base.back() == '\\') base.pop_back();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = base + "\\quillet_e2e_" + std::to_string(GetCurrentProcessId()) +
                                  "_" + std::to_string(GetTickCount()) + "_" +
                                  std::to_string(counter++);
    if (CreateDirectoryA(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
  }
}

TempFolder::~TempFolder() {
  if (!path_.empty()) RemoveTree(path_);
}

ChildProcess::~ChildProcess() {
  Terminate();
  if (process_ != nullptr) CloseHandle(process_);
}

bool ChildProcess::Start(const std::string& command_line, const std::string& folder,
                         const std::vector<std::string>& overrides) {
  SECURITY_ATTRIBUTES inherit = {};
  inherit.nLength = sizeof(inherit);
  inherit.bInheritHandle = TRUE;
  HANDLE output_read = nullptr;
  HANDLE output_write = nullptr;
  if (!CreatePipe(&output_read, &output_write, &inherit, 0)) {
    error_ = "CreatePipe failed with error " + std::to_string(GetLastError());
    return false;
  }
  // Only the child's end of the pipe may be inherited; a copy of the reading
  // end in the child, or in a program that the test starts later, would
  // keep the pipe from ever reporting its end.
  SetHandleInformation(output_read, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  // Standard output shares the pipe, so that what a program prints for a
  // console (its settings check, its version) can be read as well.
  startup.hStdOutput = output_write;
  startup.hStdError = output_write;
  PROCESS_INFORMATION info = {};
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');
  std::vector<char> environment = EnvironmentBlock(overrides);
  const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0,
                                      environment.data(), folder.c_str(), &startup, &info);
  const DWORD start_error = GetLastError();
  CloseHandle(output_write);
  if (!started) {
    error_ =
        "CreateProcessA(" + command_line + ") failed with error " + std::to_string(start_error);
    CloseHandle(output_read);
    return false;
  }
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  process_id_ = info.dwProcessId;

  // The pipe is drained all the time, so that a child that writes much
  // cannot block on a full pipe while the test waits for it to end.
  capture_ = std::make_shared<Capture>(output_read);
  auto* share = new std::shared_ptr<Capture>(capture_);
  HANDLE reader = CreateThread(nullptr, 0, &Capture::Read, share, 0, nullptr);
  if (reader == nullptr) {
    delete share;
    error_ = "CreateThread failed with error " + std::to_string(GetLastError());
    return false;
  }
  CloseHandle(reader);
  return true;
}

bool ChildProcess::Open(DWORD process_id) {
  process_ = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, process_id);
  process_id_ = process_id;
  return process_ != nullptr;
}

bool ChildProcess::Wait(DWORD timeout_ms) {
  return process_ == nullptr || WaitForSingleObject(process_, timeout_ms) == WAIT_OBJECT_0;
}

bool ChildProcess::WaitForOutput(const std::string& text, DWORD timeout_ms) {
  if (capture_ == nullptr) return false;
  auto found = [&] { return capture_->Text().find(text) != std::string::npos; };
  WaitUntil([&] { return found() || capture_->Done(); }, timeout_ms);
  return found();
}

void ChildProcess::Terminate() {
  if (running()) {
    TerminateProcess(process_, 255);
    WaitForSingleObject(process_, 10000);
  }
}

bool ChildProcess::running() const {
  return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

DWORD ChildProcess::exit_code() const {
  DWORD code = STILL_ACTIVE;
  if (process_ != nullptr) GetExitCodeProcess(process_, &code);
  return code;
}

std::string ChildProcess::StandardError() {
  if (capture_ == nullptr) return "";
  if (process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_OBJECT_0) {
    WaitUntil([&] { return capture_->Done(); }, kOutputEndMs);
  }
  return capture_->Text();
}

HWND FindProcessWindow(DWORD process_id, const std::string& class_name, const std::string& title) {
  WindowQuery query{process_id, class_name, title, nullptr};
  EnumWindows(&MatchTopLevel, reinterpret_cast<LPARAM>(&query));
  return query.found;
}

std::string WindowTitle(HWND window) {
  char text[4096] = {};
  const int length = GetWindowTextA(window, text, sizeof(text));
  return std::string(text, length > 0 ? length : 0);
}

std::string MessageBoxText(HWND box) {
  for (int id : kMessageTextIds) {
    if (HWND item = GetDlgItem(box, id)) {
      const std::string text = WindowTitle(item);
      if (!text.empty()) return text;
    }
  }
  // The longest static text is the message; an icon's static has none.
  std::vector<std::string> texts;
  EnumChildWindows(box, &CollectStaticTexts, reinterpret_cast<LPARAM>(&texts));
  std::string longest;
  for (const std::string& text : texts) {
    if (text.size() > longest.size()) longest = text;
  }
  return longest;
}

COLORREF ScreenPixelOf(HWND window, POINT point) {
  HWND hit = WindowFromPoint(point);
  if (hit == nullptr || GetAncestor(hit, GA_ROOT) != window) return CLR_INVALID;
  HDC screen = GetDC(nullptr);
  const COLORREF color = GetPixel(screen, point.x, point.y);
  ReleaseDC(nullptr, screen);
  return color;
}

void PressOk(HWND box) {
  // A posted WM_COMMAND works whether or not the box is active, unlike a
  // simulated click, which depends on focus and the mouse.
  HWND button = GetDlgItem(box, IDOK);
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

}  // namespace quillet_test
