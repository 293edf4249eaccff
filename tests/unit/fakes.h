// In-memory stand-ins for the platform interfaces, recording what a step did,
// with a fault injector that fails chosen calls.
#ifndef QUILLET_TESTS_UNIT_FAKES_H_
#define QUILLET_TESTS_UNIT_FAKES_H_

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "run/run_context.h"

namespace quillet::testing {

using Names = std::vector<std::string>;
// Where FakeRun puts the settings file and the copy journal.
inline constexpr char kIni[] = "C:\\Tools\\quillet.ini";
inline constexpr char kJournal[] = "C:\\Tools\\test.log";

// A file system in memory with Windows rules: "\" or "/" separate, names
// compare without regard to case. Each call is logged as "Call path".
class FakeFiles : public Files {
 public:
  void AddFile(const std::string& path, const std::string& content = "");
  void AddFolder(const std::string& path);
  bool Exists(const std::string& path) const;
  std::string Content(const std::string& path) const;
  // The bare names in a folder, sorted.
  std::vector<std::string> List(const std::string& folder) const;
  // Makes the calls named `call` whose first path contains `part` fail,
  // after the first `skip` of them have gone through.
  void FailOn(const std::string& call, const std::string& part = "", int skip = 0);
  // Marks a file as held open by another program: it cannot be deleted,
  // renamed or overwritten.
  void Lock(const std::string& path);
  // Marks a file as held open for writing by another program: a plain copy
  // fails as in use, a copy through a sharing handle works unless `shared`
  // is false (locked against all reading).
  void HoldOpen(const std::string& path, bool shared);
  std::uint64_t free_bytes = std::uint64_t{1} << 40;

  std::vector<std::string> log;
  std::string current_dir = "C:\\";

  std::error_code DirFirst(const std::string& pattern, bool with_folders,
                           std::string* name) override;
  std::error_code DirNext(std::string* name) override;
  std::error_code KillFiles(const std::string& pattern) override;
  std::error_code RenamePath(const std::string& from, const std::string& to) override;
  std::error_code MakeDir(const std::string& path) override;
  std::error_code RemoveDir(const std::string& path) override;
  std::error_code CurrentDir(std::string* path) override;
  std::error_code ChangeDir(const std::string& path) override;
  std::error_code CopyFile(const std::string& from, const std::string& to, bool overwrite) override;
  std::error_code CopyOpenFile(const std::string& from, const std::string& to) override;
  bool IsInUse(const std::error_code& error) override {
    return error == std::errc::device_or_resource_busy;
  }
  std::error_code FreeSpace(const std::string& path, std::uint64_t* bytes) override;
  std::error_code DeleteFolder(const std::string& path, bool force) override;
  std::error_code OpenText(const std::string& path, OpenMode mode,
                           std::unique_ptr<TextFile>* file) override;
  std::error_code FileSize(const std::string& path, std::uint64_t* size) override;

 private:
  struct Node {
    std::string path;  // As first written, with "\" separators.
    bool folder = false;
    bool locked = false;
    int held_open = 0;  // 1 shared for reading, 2 not shared at all.
    std::string content;
  };
  bool Injected(const std::string& call, const std::string& path);
  static std::string Key(const std::string& path);
  // The folder a search for `pattern` looks in: its folder part, or the
  // current directory when it has none.
  std::string SearchFolder(const std::string& pattern, std::string* last) const;
  std::vector<std::string> Matches(const std::string& pattern, bool with_folders) const;

  std::map<std::string, Node> nodes_;
  struct Fault {
    std::string call;
    std::string part;
    int skip;
  };
  std::vector<Fault> faults_;
  std::vector<std::string> search_;
  std::size_t next_ = 0;
  friend class FakeTextFile;
};

class FakeSettings : public SettingsReader {
 public:
  // Sets a value; section and key compare without regard to case.
  void Set(const std::string& file, const std::string& section, const std::string& key,
           const std::string& value);
  std::string Read(const std::string& section, const std::string& key,
                   const std::string& file) override;
  std::vector<std::string> reads;  // "section/key" in the order read.

 private:
  std::map<std::string, std::string> values_;
};

class FakeEnvironment : public Environment {
 public:
  std::map<std::string, std::string> variables;  // Names compare without regard to case.
  std::uint32_t version = 0x1DB10106;            // 6.1, NT family.
  std::string program_path = "C:\\Tools\\quillet.exe";
  std::string tail;
  bool GetVariable(const std::string& name, std::string* value) override;
  std::uint32_t GetVersion() override { return version; }
  std::string ProgramPath() override { return program_path; }
  std::string CommandTail() override { return tail; }
  std::string ComputerName() override { return "HMI-PC"; }
  std::string SystemName() override { return "Windows NT 6.1 build 7601"; }
  std::string ToUtf8(const std::string& text) override { return text; }
};

class FakeWindow : public StatusWindow {
 public:
  // Every call in order: "Show", "Hide", "Label:<text>", "Front",
  // "Place:x,y,w,h", "Yield", "Message:<text>", "Error:<text>".
  std::vector<std::string> events;
  std::vector<std::string> Messages() const;  // Texts of the message boxes.
  std::vector<std::string> Labels() const;
  void Show() override { events.push_back("Show"); }
  void Hide() override { events.push_back("Hide"); }
  void SetLabel(const std::string& text) override { events.push_back("Label:" + text); }
  void BringToFront() override { events.push_back("Front"); }
  void OuterSizeTwips(int* width, int* height) override {
    *width = 5970;
    *height = 1305;
  }
  void PlaceTopmost(int x, int y, int w, int h) override;
  void YieldToUi() override { events.push_back("Yield"); }
  void MessageBox(const std::string& text) override { events.push_back("Message:" + text); }
  void ReportError(const std::string& text, bool) override { events.push_back("Error:" + text); }
  std::uintptr_t Handle() override { return 0x100; }
};

class FakeClock : public Clock {
 public:
  LocalTime now{2027, 3, 1, 9, 5, 7};
  int slept_ms = 0;
  LocalTime Now() override { return now; }
  // Time moves only by sleeping, so durations are exact.
  long long Milliseconds() override { return slept_ms; }
  void Sleep(int ms) override { slept_ms += ms; }
};

// Records each start with the working directory of that moment; `on_start`
// may act as the started program would.
class FakeProcesses : public Processes {
 public:
  struct Launch {
    std::string command_line;
    std::string directory;
  };
  explicit FakeProcesses(FakeFiles* files) : files_(files) {}
  std::vector<Launch> launches;
  std::function<void(const std::string& command_line)> on_start;
  bool fail_start = false;
  bool hang = false;   // Started programs never end by themselves.
  int terminated = 0;  // Groups ended by Terminate.
  std::vector<bool> as_group;
  std::error_code Start(const std::string& command_line, bool group, ChildProcess* child) override;
  WaitResult Wait(const ChildProcess& child, int timeout_ms) override;
  void Terminate(ChildProcess* child) override {
    ++terminated;
    child->group = 0;
  }
  bool ExitCode(const ChildProcess&, int* code) override {
    *code = 0;
    return true;
  }
  void Close(ChildProcess* child) override { *child = ChildProcess(); }

 private:
  FakeFiles* files_;
};

// A desktop of scripted top-level windows, listed from the top of the
// z-order down. Calls that act are logged in `calls`.
class FakeDesktop : public Desktop {
 public:
  struct Window {
    WindowHandle handle;
    std::string title;
    WindowRect rect;
  };
  std::vector<Window> z_order;
  int width = 1024;
  int height = 768;
  WindowHandle foreground = 0;
  bool grant_foreground = true;  // SetForegroundWindow succeeds.
  int find_calls = 0;
  // Called on each click with the last absolute pointer position.
  std::function<void(int dx, int dy)> on_click;
  std::vector<std::string> calls;

  WindowHandle GetWindow(WindowHandle window, ZOrder relation) override;
  std::string GetWindowText(WindowHandle window, int buffer_size) override;
  int GetSystemMetrics(int index) override { return index == 0 ? width : height; }
  bool GetWindowRect(WindowHandle window, WindowRect* rect) override;
  void TwipsPerPixel(float* x, float* y) override { *x = *y = 15.0f; }
  void MouseEvent(unsigned flags, int dx, int dy) override;
  WindowHandle GetForegroundWindow() override { return foreground; }
  void ShowWindow(WindowHandle window, int command) override;
  void SetForegroundWindow(WindowHandle window) override;
  void SetActiveWindow(WindowHandle window) override;
  WindowHandle FindWindow(const std::string& title) override;
  void SetWindowPos(WindowHandle window, WindowHandle after, int x, int y, int w, int h,
                    unsigned flags) override;
  void PressPrintScreen() override { calls.push_back("PrintScreen"); }
  std::error_code SaveClipboardBitmap(const std::string& path) override;
  std::error_code CaptureScreenBitmap(const std::string& path) override;
  bool clipboard_has_bitmap = false;
  bool can_capture = true;

 private:
  const Window* Find(WindowHandle handle) const;
  int last_dx_ = 0, last_dy_ = 0;
};

// A run context wired to one set of fakes, with TargetPath T:\Target and the
// program in C:\Tools.
struct FakeRun {
  FakeRun();
  FakeFiles files;
  FakeSettings settings;
  FakeEnvironment environment;
  FakeWindow window;
  FakeClock clock;
  FakeProcesses processes{&files};
  FakeDesktop desktop;
  RunContext context;
  // Makes the started packer write the archive its command line names.
  void PackerMakesArchives();
  // Writes `values` as the numbered list `section` of the settings file.
  void SetList(const std::string& section, const Names& values);
};

}  // namespace quillet::testing

#endif  // QUILLET_TESTS_UNIT_FAKES_H_
