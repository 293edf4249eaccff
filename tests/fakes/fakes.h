// In-memory stand-ins for the platform interfaces, recording what a step did,
// with a fault injector that fails chosen calls. They follow the rules of
// the Windows backends; the contract tests hold them to the real ones.
#ifndef QUILLET_TESTS_FAKES_FAKES_H_
#define QUILLET_TESTS_FAKES_FAKES_H_

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace quillet::testing {

using Names = std::vector<std::string>;

// A file system in memory with Windows rules: "\" or "/" separate, names
// compare without regard to case. Each call is logged as "Call path".
class FakeFiles : public Files {
 public:
  // Writing a file that exists keeps it the same file, as a writer would;
  // the folders on its way are made as needed.
  void AddFile(const std::string& path, const std::string& content = "",
               const LocalTime& modified = {2026, 1, 2, 3, 4, 5});
  void AddFolder(const std::string& path);
  bool Exists(const std::string& path) const { return nodes_.count(Key(path)) != 0; }
  std::string Content(const std::string& path) const;
  Names List(const std::string& folder) const;  // Bare names, sorted.
  // Makes the calls named `call` whose path contains `part` fail, after the
  // first `skip` of them have gone through.
  void FailOn(const std::string& call, const std::string& part = "", int skip = 0) {
    faults_.push_back({call, Key(part), skip});
  }
  // Holds a file open as another program would: `shared` for writing with
  // read sharing (a plain copy and a deletion fail as in use, a copy through
  // a sharing handle works), otherwise against everything.
  void HoldOpen(const std::string& path, bool shared) { Find(path)->held = shared ? 1 : 2; }
  // Called when DeleteVerified has read a file, before it decides.
  std::function<void(const std::string& path)> on_verify;
  std::uint64_t free_bytes = std::uint64_t{1} << 40;
  Names log;
  std::string current_dir = "C:\\";

  char Separator() const override { return '\\'; }
  std::error_code DirFirst(const std::string& pattern, bool with_folders,
                           std::string* name) override;
  std::error_code DirNext(std::string* name) override {
    *name = next_ < search_.size() ? search_[next_++] : "";
    return {};
  }
  std::error_code KillFiles(const std::string& pattern) override;
  std::error_code DeleteFile(const std::string& path) override;
  std::error_code DeleteVerified(const std::string& path,
                                 const std::function<bool(InputFile&)>& verify) override;
  std::error_code RenamePath(const std::string& from, const std::string& to) override;
  std::error_code MakeDir(const std::string& path) override;
  std::error_code RemoveDir(const std::string& path) override;
  std::error_code CurrentDir(std::string* path) override {
    *path = current_dir;
    return Fault("CurrentDir", "");
  }
  std::error_code ChangeDir(const std::string& path) override;
  std::error_code CopyFile(const std::string& from, const std::string& to, bool overwrite) override;
  std::error_code CopyOpenFile(const std::string& from, const std::string& to) override {
    if (auto error = Fault("CopyOpenFile", from)) return error;
    return Copy(from, to, true);
  }
  std::error_code FreeSpace(const std::string& path, std::uint64_t* bytes) override {
    *bytes = free_bytes;
    return Fault("FreeSpace", path);
  }
  std::error_code DeleteFolder(const std::string& path, bool force) override;
  std::error_code OpenText(const std::string& path, OpenMode mode,
                           std::unique_ptr<TextFile>* file) override;
  std::error_code OpenRead(const std::string& path, std::unique_ptr<InputFile>* file) override;
  std::error_code Stat(const std::string& path, FileInfo* info) override;

 private:
  struct Node {
    std::string path;  // As first written, with "\" separators.
    bool folder = false;
    int held = 0;  // 1 for writing with read sharing, 2 without any sharing.
    std::string content;
    LocalTime modified;
    std::uint64_t id = 0;
  };
  struct Injected {
    std::string call, part;
    int skip;
  };
  friend class FakeTextFile;
  static std::string Key(const std::string& path);
  // An io_error when a fault was injected for `call` on `path`.
  std::error_code Fault(const std::string& call, const std::string& path);
  Node* Find(const std::string& path);
  bool ParentExists(const std::string& path) const;
  Names Matches(const std::string& pattern, bool with_folders, std::string* folder) const;
  std::error_code Copy(const std::string& from, const std::string& to, bool sharing);

  std::map<std::string, Node> nodes_;
  std::vector<Injected> faults_;
  Names search_;
  std::size_t next_ = 0;
  std::uint64_t next_id_ = 1;
};

// The settings reader over the INI files of a FakeFiles, by the rules that
// the POSIX reader follows too.
class FakeSettings : public SettingsReader {
 public:
  explicit FakeSettings(FakeFiles* files) : files_(files) {}
  std::string Read(const std::string& section, const std::string& key,
                   const std::string& file) override {
    return IniText(files_->Content(file)).Read(section, key);
  }
  Names Sections(const std::string& file) override {
    return IniText(files_->Content(file)).Sections();
  }
  Names Keys(const std::string& section, const std::string& file) override {
    return IniText(files_->Content(file)).Keys(section);
  }

 private:
  FakeFiles* files_;
};

class FakeEnvironment : public Environment {
 public:
  std::map<std::string, std::string> variables;  // Names compare without regard to case.
  std::uint32_t version = 0x1DB10106;            // 6.1, NT family.
  std::string tail;
  bool GetVariable(const std::string& name, std::string* value) override;
  std::uint32_t GetVersion() override { return version; }
  std::string ProgramPath() override { return "C:\\Tools\\quillet.exe"; }
  std::string CommandTail() override { return tail; }
  std::string ComputerName() override { return "HMI-PC"; }
  std::string SystemName() override { return "Windows NT 6.1 build 7601"; }
  std::string ToUtf8(const std::string& text) override { return text; }
};

// Every call in order: "Show", "Hide", "Label:<text>", "Front",
// "Place:x,y,w,h", "Yield", "Message:<text>", "Error:<text>".
class FakeWindow : public StatusWindow {
 public:
  Names events;
  Names With(const std::string& prefix) const;  // The texts of the events of one kind.
  void Show() override { events.push_back("Show"); }
  void Hide() override { events.push_back("Hide"); }
  void SetLabel(const std::string& text) override { events.push_back("Label:" + text); }
  void BringToFront() override { events.push_back("Front"); }
  void OuterSizeTwips(int* width, int* height) override {
    *width = 5970;
    *height = 1305;
  }
  void PlaceTopmost(int x, int y, int w, int h) override {
    events.push_back("Place:" + std::to_string(x) + "," + std::to_string(y) + "," +
                     std::to_string(w) + "," + std::to_string(h));
  }
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

// Starts a program only when its file exists in the FakeFiles; `on_start`
// may then act as the program would, and its result is the exit code.
class FakeProcesses : public Processes {
 public:
  explicit FakeProcesses(FakeFiles* files) : files_(files) {}
  struct Launch {
    std::string command_line, directory;
    bool group;
  };
  std::vector<Launch> launches;
  std::function<int(const std::string& command_line)> on_start;
  bool hang = false;   // Started programs never end by themselves.
  int terminated = 0;  // Groups ended by Terminate.
  int open = 0;        // Programs started and not yet closed.
  std::error_code Start(const std::string& command_line, bool group, ChildProcess* child) override;
  WaitResult Wait(const ChildProcess& child, int) override {
    if (codes_.count(child.id) == 0) return WaitResult::kFailed;
    return hang ? WaitResult::kTimeout : WaitResult::kEnded;
  }
  void Terminate(ChildProcess* child) override {
    ++terminated;
    codes_.erase(child->id);
  }
  bool ExitCode(const ChildProcess& child, int* code) override {
    if (codes_.count(child.id) == 0 || hang) return false;
    *code = codes_[child.id];
    return true;
  }
  void Close(ChildProcess* child) override {
    open -= child->id != 0;
    *child = ChildProcess();
  }

 private:
  FakeFiles* files_;
  std::map<std::uintptr_t, int> codes_;
};

// A desktop of scripted top-level windows, listed from the top of the
// z-order down. Calls that act are logged in `calls`, and in `timeline`
// too when it is set.
class FakeDesktop : public Desktop {
 public:
  struct Window {
    WindowHandle handle;
    std::string title;
    WindowRect rect;
  };
  std::vector<Window> z_order;
  int width = 1024, height = 768;
  WindowHandle foreground = 0;
  bool grant_foreground = true;
  std::function<void(int x, int y)> on_click;  // With the absolute pointer position.
  Names calls;
  Names* timeline = nullptr;
  bool clipboard_has_bitmap = false, can_capture = true;
  FakeFiles* files = nullptr;  // Where the pictures go, when set.

  WindowHandle Neighbour(WindowHandle window, ZOrder where) override;
  std::string Title(WindowHandle window, int max_chars) override {
    const Window* w = Find(window);
    return w == nullptr ? "" : w->title.substr(0, static_cast<std::size_t>(max_chars));
  }
  void ScreenSizeInPixels(int* w, int* h) override {
    *w = width;
    *h = height;
  }
  void TwipsPerPixel(float* x, float* y) override { *x = *y = 15.0f; }
  bool OuterRect(WindowHandle window, WindowRect* rect) override {
    const Window* w = Find(window);
    if (w != nullptr) *rect = w->rect;
    return w != nullptr;
  }
  void MovePointerTo(int x, int y) override {
    Record("Move " + std::to_string(x_ = x) + "," + std::to_string(y_ = y));
  }
  void Click(MouseButton button) override {
    Record("Click " + std::to_string(static_cast<int>(button)));
    if (on_click) on_click(x_, y_);
  }
  WindowHandle Foreground() override { return foreground; }
  void Restore(WindowHandle window) override { Record("Restore " + std::to_string(window)); }
  void Minimize(WindowHandle window) override { Record("Minimize " + std::to_string(window)); }
  void BringToFront(WindowHandle window) override { Foreground("Front", window); }
  void RequestForeground(WindowHandle window) override { Foreground("Foreground", window); }
  WindowHandle FindTopLevel(const std::string& title) override;
  void ShowTopmostAt(WindowHandle window, int x, int y, int w, int h) override {
    Record("Topmost " + std::to_string(window) + " " + std::to_string(x) + "," + std::to_string(y) +
           "," + std::to_string(w) + "," + std::to_string(h));
  }
  void PressPrintScreen() override { Record("PrintScreen"); }
  std::error_code SaveClipboardBitmap(const std::string& path) override {
    return Picture("Clipboard", path, clipboard_has_bitmap);
  }
  std::error_code CaptureScreenBitmap(const std::string& path) override {
    return Picture("Capture", path, can_capture);
  }

 private:
  void Record(const std::string& call) {
    calls.push_back(call);
    if (timeline != nullptr) timeline->push_back(call);
  }
  void Foreground(const std::string& call, WindowHandle window) {
    Record(call + " " + std::to_string(window));
    if (grant_foreground) foreground = window;
  }
  std::error_code Picture(const std::string& call, const std::string& path, bool works);
  const Window* Find(WindowHandle handle) const;
  int x_ = 0, y_ = 0;
};

class FakeLock : public RunLock {
 public:
  LockResult result = LockResult::kTaken;
  LockResult Take(std::error_code*) override { return result; }
};

// One set of fakes and a platform over them, with the program in C:\Tools,
// its settings file C:\Tools\quillet.ini and the packer in its tools folder.
struct FakePlatform {
  FakePlatform();
  FakeFiles files;
  FakeSettings settings{&files};
  FakeEnvironment environment;
  FakeWindow window;
  FakeClock clock;
  FakeProcesses processes{&files};
  FakeDesktop desktop;
  FakeLock lock;
  Platform platform;
  // Writes the settings file: section Project with TargetPath T:\Target and
  // `project`, then `sections`; lines end in "\n".
  void WriteSettings(const std::string& sections, const std::string& project = "") {
    files.AddFile("C:\\Tools\\quillet.ini",
                  "[Project]\nTargetPath=T:\\Target\n" + project + sections);
  }
  // Makes the started packer write a true archive of the staging folder.
  void PackerMakesArchives();
};

}  // namespace quillet::testing

#endif  // QUILLET_TESTS_FAKES_FAKES_H_
