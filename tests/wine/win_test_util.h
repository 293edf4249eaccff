// Helpers of the Windows test programs: strings, files and zip listings,
// temporary folders, child processes with captured output, and the windows
// those children show.
#ifndef QUILLET_TESTS_WINE_WIN_TEST_UTIL_H_
#define QUILLET_TESTS_WINE_WIN_TEST_UTIL_H_

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quillet_test {

// "/a/b" on the Linux side is "Z:\a\b" inside Wine; a path that does not
// start with "/" is taken as a Windows path already and returned unchanged.
std::string WinePathFromLinux(const std::string& path);

bool ContainsNoCase(const std::string& text, const std::string& part);
bool StartsWithNoCase(const std::string& text, const std::string& prefix);

// Polls `done` for at most `timeout_ms`; true once it holds.
bool WaitUntil(const std::function<bool()>& done, DWORD timeout_ms);

bool PathExists(const std::string& path);
bool WriteTextFile(const std::string& path, const std::string& content);
// Reads while another process may still write, so that a log that its
// program holds open can be looked at; "" when the file cannot be read.
std::string ReadTextFile(const std::string& path);
// Sorted, without "." and "..".
std::vector<std::string> ListFolder(const std::string& folder);

// Little-endian numbers, as zip archives and BMP files store them.
std::uint32_t ReadU16(const std::string& data, std::size_t at);
std::uint32_t ReadU32(const std::string& data, std::size_t at);

// One entry of a zip archive's central directory.
struct ZipEntry {
  std::string name;
  int method = 0;
  std::uint32_t compressed_size = 0;
  std::uint32_t size = 0;
  std::uint32_t local_offset = 0;
};

// Lists the central directory of the zip archive held in `data`. Returns
// false with `*error` set when it is not an archive that this small reader
// understands; the runs under test write no ZIP64 archives.
bool ListZip(const std::string& data, std::vector<ZipEntry>* entries, std::string* error);

// A new, empty folder under the system's temporary folder, removed with
// everything in it when the object goes away.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // Without a trailing "\"; empty when the folder could not be made.
  const std::string& path() const { return path_; }
  std::string Join(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// One process of a test. It is ended by force if it still runs when the
// object goes away, so that no test leaves one behind.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `command_line` in `folder` with this process's environment, in
  // which the "NAME=value" entries of `overrides` replace the variables of
  // the same name. Standard output and standard error share one pipe that
  // is drained all the time. Returns false, with `error()` set, on failure.
  bool Start(const std::string& command_line, const std::string& folder,
             const std::vector<std::string>& overrides);
  // Takes charge of a running process that this test did not start; false
  // when it cannot be opened, e.g. because it has ended.
  bool Open(DWORD process_id);

  // False when the process still runs after `timeout_ms`; it is not ended.
  bool Wait(DWORD timeout_ms);
  // True once the output holds `text`; false when the time is up or the
  // output ended without it.
  bool WaitForOutput(const std::string& text, DWORD timeout_ms);
  // Ends the process by force when it still runs, and waits for it.
  void Terminate();

  bool running() const;
  DWORD process_id() const { return process_id_; }
  DWORD exit_code() const;
  // Standard output and standard error so far. Once the process has ended,
  // this waits a moment for the rest of the pipe's content.
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
// `class_name` and whose title is `title` (either matches anything when
// empty); nullptr when there is none.
HWND FindProcessWindow(DWORD process_id, const std::string& class_name, const std::string& title);

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
