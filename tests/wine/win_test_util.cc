#include "win_test_util.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace quillet_test {
namespace {

// How often the waits below look again at a child and its windows.
constexpr DWORD kPollMs = 50;

// Wine's message box and the one of Windows give the message's static
// control different ids; both are tried before looking at every child.
constexpr int kMessageTextIds[] = {0xFFFF, 100};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
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

// The standard error text of a child, filled by a reader thread. The thread
// owns a share of it and is never joined: a grandchild that inherited the
// pipe could keep it open after the child ended, and the test must not hang
// on that.
struct ChildProcess::Capture {
  std::mutex mutex;
  std::condition_variable changed;
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

std::string TempFolder::Join(const std::string& name) const { return path_ + "\\" + name; }

ChildProcess::~ChildProcess() {
  Terminate();
  if (process_ != nullptr) CloseHandle(process_);
}

bool ChildProcess::Start(const std::string& command_line, const std::string& folder,
                         const std::vector<std::string>& overrides) {
  SECURITY_ATTRIBUTES inherit = {};
  inherit.nLength = sizeof(inherit);
  inherit.bInheritHandle = TRUE;
  HANDLE error_read = nullptr;
  HANDLE error_write = nullptr;
  if (!CreatePipe(&error_read, &error_write, &inherit, 0)) {
    error_ = "CreatePipe failed with error " + std::to_string(GetLastError());
    return false;
  }
  // Only the child's end of the pipe may be inherited; a copy of the reading
  // end in the child would keep the pipe from ever reporting its end.
  SetHandleInformation(error_read, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  // Standard output shares the pipe, so that what a program prints for a
  // console (its settings check, its version) can be read as well.
  startup.hStdOutput = error_write;
  startup.hStdError = error_write;
  PROCESS_INFORMATION info = {};
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');
  std::vector<char> environment = EnvironmentBlock(overrides);
  const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0,
                                      environment.data(), folder.c_str(), &startup, &info);
  const DWORD start_error = GetLastError();
  CloseHandle(error_write);
  if (!started) {
    error_ =
        "CreateProcessA(" + command_line + ") failed with error " + std::to_string(start_error);
    CloseHandle(error_read);
    return false;
  }
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  process_id_ = info.dwProcessId;

  // The pipe is drained all the time, so that a child that writes much
  // cannot block on a full pipe while the test waits for it to end.
  capture_ = std::make_shared<Capture>();
  std::thread([capture = capture_, error_read] {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(error_read, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
      std::lock_guard<std::mutex> lock(capture->mutex);
      capture->text.append(buffer, got);
    }
    CloseHandle(error_read);
    std::lock_guard<std::mutex> lock(capture->mutex);
    capture->done = true;
    capture->changed.notify_all();
  }).detach();
  return true;
}

bool ChildProcess::Wait(DWORD timeout_ms) {
  if (process_ == nullptr) return true;
  return WaitForSingleObject(process_, timeout_ms) == WAIT_OBJECT_0;
}

bool ChildProcess::WaitWithoutDialog(DWORD timeout_ms, bool* saw_dialog) {
  *saw_dialog = false;
  if (process_ == nullptr) return true;
  const DWORD start = GetTickCount();
  for (;;) {
    if (WaitForSingleObject(process_, kPollMs) == WAIT_OBJECT_0) return true;
    if (FindProcessWindow(process_id_, "#32770", "") != nullptr) {
      *saw_dialog = true;
      return false;
    }
    if (GetTickCount() - start >= timeout_ms) return false;
  }
}

void ChildProcess::Terminate() {
  if (process_ == nullptr) return;
  if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
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
  std::unique_lock<std::mutex> lock(capture_->mutex);
  if (process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_OBJECT_0) {
    capture_->changed.wait_for(lock, std::chrono::seconds(5), [this] { return capture_->done; });
  }
  return capture_->text;
}

HWND FindProcessWindow(DWORD process_id, const std::string& class_name, const std::string& title) {
  WindowQuery query{process_id, class_name, title, nullptr};
  EnumWindows(&MatchTopLevel, reinterpret_cast<LPARAM>(&query));
  return query.found;
}

HWND WaitForProcessWindow(HANDLE process, DWORD process_id, const std::string& class_name,
                          const std::string& title, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (HWND window = FindProcessWindow(process_id, class_name, title)) return window;
    if (WaitForSingleObject(process, kPollMs) == WAIT_OBJECT_0) {
      // The window may have come and gone within the last pause; one more
      // look settles it.
      return FindProcessWindow(process_id, class_name, title);
    }
    if (GetTickCount() - start >= timeout_ms) return nullptr;
  }
}

std::string WindowClass(HWND window) {
  char name[256] = {};
  const int length = GetClassNameA(window, name, sizeof(name));
  return std::string(name, length > 0 ? length : 0);
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
