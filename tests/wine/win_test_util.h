// Helpers of the Windows test programs: temporary folders, child processes
// with captured standard error, and the windows those children show.
#ifndef QUILLET_TESTS_WINE_WIN_TEST_UTIL_H_
#define QUILLET_TESTS_WINE_WIN_TEST_UTIL_H_

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace quillet_test {

// "/a/b" on the Linux side is "Z:\a\b" inside Wine; a path that does not
// start with "/" is taken as a Windows path already and returned unchanged.
std::string WinePathFromLinux(const std::string& path);

// True when `text` contains `part`, compared without regard to case.
bool ContainsNoCase(const std::string& text, const std::string& part);

// True when `text` begins with `prefix`, compared without regard to case.
bool StartsWithNoCase(const std::string& text, const std::string& prefix);

// This process's environment as "NAME=value" entries, with `overrides` put
// in place of the entries of the same name (compared without regard to
// case), as a block for CreateProcessA: entries ended by NUL, and one more
// NUL at the end.
std::vector<char> EnvironmentBlock(const std::vector<std::string>& overrides);

// Writes `content` to `path` as it is, replacing the file.
bool WriteTextFile(const std::string& path, const std::string& content);

// The names of the entries of `folder`, without "." and "..".
std::vector<std::string> ListFolder(const std::string& folder);

// A new, empty folder under the system's temporary folder with a name of its
// own; it is removed with everything in it when the object goes away.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // Full path without a trailing "\"; empty when the folder could not be made.
  const std::string& path() const { return path_; }
  // `path()` + "\" + `name`.
  std::string Join(const std::string& name) const;

 private:
  std::string path_;
};

// One child process started by a test. The child is ended by force if it is
// still running when the object goes away, so no test leaves one behind.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `command_line` in `folder`, with its standard output and standard
  // error going into one pipe that this object drains. The child gets this process's environment
  // with the "NAME=value" entries of `overrides` put in place of variables of
  // the same name. Returns false, with `error()` set, when the process could
  // not be started.
  bool Start(const std::string& command_line, const std::string& folder,
             const std::vector<std::string>& overrides);

  // Waits at most `timeout_ms` for the child to end. Returns false when it is
  // still running then; the child is not ended here.
  bool Wait(DWORD timeout_ms);

  // Like Wait, but fails at once (returning false and setting
  // `*saw_dialog`) when the child shows a dialog box meanwhile, which an
  // unattended run must never do.
  bool WaitWithoutDialog(DWORD timeout_ms, bool* saw_dialog);

  // Ends the child by force when it still runs, and waits for it.
  void Terminate();

  bool running() const;
  DWORD process_id() const { return process_id_; }
  // The child's process handle, owned by this object.
  HANDLE handle() const { return process_; }
  // The exit code once the child has ended.
  DWORD exit_code() const;
  // What the child wrote to standard output and standard error so far. Once the child has
  // ended, this waits a moment for the rest of the pipe's content.
  std::string StandardError();
  const std::string& error() const { return error_; }

 private:
  struct Capture;

  HANDLE process_ = nullptr;
  DWORD process_id_ = 0;
  std::shared_ptr<Capture> capture_;
  std::string error_;
};

// The first visible top-level window of process `process_id` whose class is
// `class_name` (any class when empty) and whose title is `title` (any title
// when empty); nullptr when there is none.
HWND FindProcessWindow(DWORD process_id, const std::string& class_name, const std::string& title);

// Like FindProcessWindow, but waits at most `timeout_ms` for the window to
// appear. It also gives up when the process ends first.
HWND WaitForProcessWindow(HANDLE process, DWORD process_id, const std::string& class_name,
                          const std::string& title, DWORD timeout_ms);

// The class name and the title of a window of any process.
std::string WindowClass(HWND window);
std::string WindowTitle(HWND window);

// The message of a message box of any process: the text of its static
// control that is not the icon.
std::string MessageBoxText(HWND box);

// The colour of the screen's pixel at `point`, or CLR_INVALID when the
// pixel belongs to a window other than `window` and its children, which
// would hide what the test means to look at.
COLORREF ScreenPixelOf(HWND window, POINT point);

// Presses the OK button of a message box of another process.
void PressOk(HWND box);

}  // namespace quillet_test

#endif  // QUILLET_TESTS_WINE_WIN_TEST_UTIL_H_
