// In-memory stand-ins for the platform interfaces that record what a step did and fail chosen
// calls on demand. They follow the Windows backends; the contract tests hold them to the real ones.
#ifndef QUILLET_TESTS_FAKES_FAKES_H_
#define QUILLET_TESTS_FAKES_FAKES_H_

#include <zlib.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "platform/wildcard.h"

namespace quillet::testing {

using Names = std::vector<std::string>;

namespace fake_detail {

inline std::string Backslashes(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

inline std::string ParentOf(const std::string& path) {
  std::string parent, last;
  SplitLastComponent(Backslashes(path), &parent, &last);
  return parent;
}

// `value` as `bytes` little-endian bytes; those beyond its eight are zeros.
inline std::string Le(std::uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(i < 8 ? value >> (8 * i) : 0));
  return out;
}

// A zip archive of stored entries, enough for the run to read it back.
inline std::string StoredZip(const std::vector<std::pair<std::string, std::string>>& files) {
  std::string data, directory;
  for (const auto& [name, content] : files) {
    const uLong crc =
        crc32(0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size()));
    // As both headers hold them: version 2.0, no flags, stored, no date,
    // CRC-32, both sizes, the name's length, no extra field.
    const std::string fields = Le(20, 2) + Le(0, 8) + Le(crc, 4) + Le(content.size(), 4) +
                               Le(content.size(), 4) + Le(name.size(), 2) + Le(0, 2);
    directory += Le(0x02014b50, 4) + Le(20, 2) + fields + Le(0, 10) + Le(data.size(), 4) + name;
    data += Le(0x04034b50, 4) + fields + name + content;
  }
  return data + directory + Le(0x06054b50, 8) + Le(files.size() * 0x10001, 4) +
         Le(directory.size(), 4) + Le(data.size(), 4) + Le(0, 2);
}

}  // namespace fake_detail

// A file's content in memory. Reads give at most 4 KiB, as a file may, to exercise short reads;
// from the `fail_at`-th read on every read fails, with an error or as an early end.
class MemoryFile : public InputFile {
 public:
  explicit MemoryFile(std::string content, int fail_at = 0, bool with_error = true)
      : content_(std::move(content)), fail_at_(fail_at), with_error_(with_error) {}
  std::int64_t reads = 0;  // Never wraps: a reader that reads on for ever meets failures only.
  std::uint64_t Size() override { return content_.size(); }
  std::error_code ReadAt(std::uint64_t at, void* buffer, std::size_t size,
                         std::size_t* got) override {
    *got = 0;
    if (++reads >= fail_at_ && fail_at_ > 0)
      return with_error_ ? std::make_error_code(std::errc::io_error) : std::error_code();
    *got = content_.copy(static_cast<char*>(buffer), std::min<std::size_t>(size, 4096),
                         std::min<std::uint64_t>(at, content_.size()));
    return {};
  }

 private:
  std::string content_;
  int fail_at_;
  bool with_error_;
};

// A file system in memory with Windows rules: "\" or "/" separate, names
// compare without regard to case. Each call is logged as "Call path".
class FakeFiles : public Files {
 public:
  // Rewriting a file keeps it the same file, as a writer would; missing folders are made.
  void AddFile(const std::string& path, const std::string& content = "",
               const LocalTime& modified = {2026, 1, 2, 3, 4, 5}) {
    if (!ParentExists(path)) AddFolder(fake_detail::ParentOf(path));
    const Node* old = Find(path);
    nodes_[Key(path)] = Node{fake_detail::Backslashes(path),       false, 0, content, modified,
                             old != nullptr ? old->id : next_id_++};
  }
  void AddFolder(const std::string& path) {
    if (!ParentExists(path)) AddFolder(fake_detail::ParentOf(path));
    nodes_[Key(path)] = Node{fake_detail::Backslashes(path), true, 0, "", {}, next_id_++};
  }
  bool Exists(const std::string& path) const { return nodes_.count(Key(path)) != 0; }
  std::string Content(const std::string& path) const {
    auto it = nodes_.find(Key(path));
    return it == nodes_.end() ? "" : it->second.content;
  }
  // Every entry of `folder`, folders included, as bare names sorted by their capitals: what a
  // test looks at, while the steps search through the List of the interface.
  Names List(const std::string& folder) const {
    Names names;
    const std::string prefix = Key(folder) + "\\";
    for (const auto& [key, node] : nodes_) {
      if (key.rfind(prefix, 0) == 0 && key.find('\\', prefix.size()) == std::string::npos)
        names.push_back(node.path.substr(prefix.size()));
    }
    return names;
  }
  // Fails the calls named `call` whose path contains `part`, or only the `nth` of them, as a
  // disk that fails once and then works again; "ReadAt" fails the reads of such a file opened
  // since, from its `failing_read`-th read on.
  void FailOn(const std::string& call, const std::string& part, int nth = 0) {
    faults_.push_back({call, Key(part), nth});
  }
  void Heal() { faults_.clear(); }
  // Holds a file open as another program would: `shared` for writing with read sharing (a plain
  // copy or a deletion fails as in use, a copy through a sharing handle works), else exclusively.
  void HoldOpen(const std::string& path, bool shared) { Find(path)->held = shared ? 1 : 2; }
  // 8.3 short names by long name, which the search matches too, as Windows' own does.
  mutable std::map<std::string, std::string> short_names;
  // Called when DeleteVerified has read a file, before it decides.
  std::function<void(const std::string& path)> on_verify;
  int failing_read = 1;
  Names log;
  std::string current_dir = "C:\\";
  std::uint64_t free_space = std::uint64_t{1} << 40;

  char Separator() const override { return '\\'; }
  std::error_code List(const std::string& pattern, bool with_folders, Names* names) override {
    names->clear();
    if (auto error = Fault("List", pattern)) return error;
    std::string folder;
    *names = Matches(pattern, with_folders, &folder);
    return {};
  }
  std::error_code KillFiles(const std::string& pattern) override {
    if (auto error = Fault("KillFiles", pattern)) return error;
    std::string folder;
    const Names names = Matches(pattern, false, &folder);
    std::error_code result = names.empty() ? Code(std::errc::no_such_file_or_directory) : Code({});
    for (const std::string& name : names)
      if (auto error = DeleteFile(folder + "\\" + name)) result = error;
    return result;
  }
  std::error_code DeleteFile(const std::string& path) override {
    if (auto error = Fault("DeleteFile", path)) return error;
    Node* node = Find(path);
    if (node == nullptr || HasWildcards(path)) return Code(std::errc::no_such_file_or_directory);
    if (node->folder) return Code(std::errc::permission_denied);
    if (node->held != 0) return Code(std::errc::device_or_resource_busy);
    nodes_.erase(Key(path));
    return {};
  }
  std::error_code DeleteVerified(const std::string& path,
                                 const std::function<bool(InputFile&)>& verify, bool) override {
    if (auto error = Fault("DeleteVerified", path)) return error;
    Node* node = Find(path);
    if (node == nullptr || node->folder) return Code(std::errc::no_such_file_or_directory);
    if (node->held != 0) return Code(std::errc::device_or_resource_busy);
    const std::string read = node->content;
    MemoryFile file(read, Fault("ReadAt", path) ? failing_read : 0);
    if (!verify(file)) return make_error_code(Errc::kChanged);
    if (on_verify) on_verify(path);
    // A writer that got in while the file was read changed what was verified.
    if (Content(path) != read) return make_error_code(Errc::kChanged);
    nodes_.erase(Key(path));
    return {};
  }
  std::error_code RenamePath(const std::string& from, const std::string& to) override {
    if (auto error = Fault("RenamePath", from)) return error;
    Node* node = Find(from);
    if (node == nullptr) return Code(std::errc::no_such_file_or_directory);
    if (Exists(to)) return Code(std::errc::file_exists);
    if (node->held != 0) return Code(std::errc::device_or_resource_busy);
    node->path = fake_detail::Backslashes(to);
    nodes_[Key(to)] = std::move(*node);  // The map keeps `node` in place while it inserts.
    nodes_.erase(Key(from));
    return {};
  }
  std::error_code MakeDir(const std::string& path) override {
    if (auto error = Fault("MakeDir", path)) return error;
    if (Exists(path)) return Code(std::errc::file_exists);
    if (!ParentExists(path)) return Code(std::errc::no_such_file_or_directory);
    AddFolder(path);
    return {};
  }
  std::error_code RemoveDir(const std::string& path) override {
    if (auto error = Fault("RemoveDir", path)) return error;
    Node* node = Find(path);
    if (node == nullptr || !node->folder) return Code(std::errc::no_such_file_or_directory);
    if (!List(path).empty()) return Code(std::errc::directory_not_empty);
    nodes_.erase(Key(path));
    return {};
  }
  std::error_code CurrentDir(std::string* path) override {
    *path = current_dir;
    return Fault("CurrentDir", "");
  }
  std::error_code ChangeDir(const std::string& path) override {
    if (auto error = Fault("ChangeDir", path)) return error;
    Node* node = Find(path);
    if (node == nullptr || !node->folder) return Code(std::errc::no_such_file_or_directory);
    current_dir = node->path;
    return {};
  }
  std::error_code CopyFile(const std::string& from, const std::string& to,
                           bool overwrite) override {
    if (auto error = Fault("CopyFile", from)) return error;
    if (!overwrite && Exists(to)) return Code(std::errc::file_exists);
    return Copy(from, to, false);
  }
  std::error_code CopyOpenFile(const std::string& from, const std::string& to) override {
    if (auto error = Fault("CopyOpenFile", from)) return error;
    return Copy(from, to, true);
  }
  std::error_code FreeSpace(const std::string& path, std::uint64_t* bytes) override {
    *bytes = free_space;
    return Fault("FreeSpace", path);
  }
  // In no particular order, as a real folder keeps it: here backwards, so that a caller that
  // needs an order must make it.
  std::error_code ListFolder(const std::string& folder, Names* names) override {
    if (auto error = Fault("ListFolder", folder)) return error;
    *names = List(folder);
    std::reverse(names->begin(), names->end());
    return {};
  }
  std::error_code OpenWrite(const std::string& path, std::unique_ptr<OutputFile>* file) override {
    if (auto error = Fault("OpenWrite", path)) return error;
    if (!ParentExists(path)) return Code(std::errc::no_such_file_or_directory);
    AddFile(path);
    *file = std::make_unique<FakeOpenFile>(this, path);
    return {};
  }
  std::error_code SyncFile(const std::string& path) override {
    if (auto error = Fault("SyncFile", path)) return error;
    return Exists(path) ? Code({}) : Code(std::errc::no_such_file_or_directory);
  }
  std::error_code SyncFolder(const std::string& folder) override {
    return Fault("SyncFolder", folder);
  }
  std::error_code OpenText(const std::string& path, OpenMode mode,
                           std::unique_ptr<TextFile>* file) override {
    if (auto error = Fault("OpenText", path)) return error;
    if (!ParentExists(path)) return Code(std::errc::no_such_file_or_directory);
    if (!Exists(path) || mode == OpenMode::kOutput) AddFile(path);
    *file = std::make_unique<FakeOpenFile>(this, path);
    return {};
  }
  std::error_code OpenRead(const std::string& path, std::unique_ptr<InputFile>* file) override {
    if (auto error = Fault("OpenRead", path)) return error;
    const Node* node = Find(path);
    if (node == nullptr || node->folder) return Code(std::errc::no_such_file_or_directory);
    if (node->held == 2) return Code(std::errc::device_or_resource_busy);
    *file = std::make_unique<MemoryFile>(node->content, Fault("ReadAt", path) ? failing_read : 0);
    return {};
  }
  std::error_code CanCreateIn(const std::string& folder) override {
    if (auto error = Fault("CanCreateIn", folder)) return error;
    const Node* node = Find(folder);
    return node != nullptr && node->folder ? Code({}) : Code(std::errc::no_such_file_or_directory);
  }
  std::error_code Stat(const std::string& path, FileInfo* info) override {
    if (auto error = Fault("Stat", path)) return error;
    const Node* node = Find(path);
    if (node == nullptr) return Code(std::errc::no_such_file_or_directory);
    *info =
        FileInfo{node->content.size(), node->modified, node->folder, false, FileId{1, node->id}};
    return {};
  }

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
    int nth = 0, seen = 0;
  };
  // A file opened for text or for writing: writes land in its content at once, and "Sync" is
  // logged as a call of its own.
  class FakeOpenFile : public TextFile, public OutputFile {
   public:
    FakeOpenFile(FakeFiles* files, std::string path) : files_(files), path_(std::move(path)) {}
    std::error_code AppendLine(const std::string& text) override {
      if (auto error = files_->Fault("AppendLine", path_)) return error;
      files_->Find(path_)->content += text + "\r\n";
      return {};
    }
    std::error_code WriteAt(std::uint64_t at, const void* data, std::size_t size) override {
      if (auto error = files_->Fault("WriteAt", path_)) return error;
      std::string& content = files_->Find(path_)->content;
      if (content.size() < at + size) content.resize(at + size);
      content.replace(at, size, static_cast<const char*>(data), size);
      return {};
    }
    std::error_code Resize(std::uint64_t size) override {
      files_->Find(path_)->content.resize(size);
      return files_->Fault("Resize", path_);
    }
    std::error_code Sync() override { return files_->Fault("Sync", path_); }

   private:
    FakeFiles* files_;
    std::string path_;
  };

  static std::error_code Code(std::errc e) { return std::make_error_code(e); }
  static std::string Key(const std::string& path) { return Upper(fake_detail::Backslashes(path)); }
  // An io_error when a fault was injected for `call` on `path`.
  std::error_code Fault(const std::string& call, const std::string& path) {
    log.push_back(call + " " + path);
    for (Injected& fault : faults_) {
      if (fault.call == call && Key(path).find(fault.part) != std::string::npos &&
          (fault.nth == 0 || ++fault.seen == fault.nth))
        return Code(std::errc::io_error);
    }
    return {};
  }
  Node* Find(const std::string& path) {
    auto it = nodes_.find(Key(path));
    return it == nodes_.end() ? nullptr : &it->second;
  }
  bool ParentExists(const std::string& path) const {
    return fake_detail::ParentOf(path).size() <= 2 || Exists(fake_detail::ParentOf(path));
  }
  Names Matches(const std::string& pattern, bool with_folders, std::string* folder) const {
    std::string last;
    SplitLastComponent(fake_detail::Backslashes(pattern), folder, &last);
    if (pattern.find_first_of("\\/") == std::string::npos) *folder = current_dir;
    Names names;
    for (const std::string& name : List(*folder)) {
      const bool is_folder = nodes_.at(Key(*folder + "\\" + name)).folder;
      const bool match = MatchesWildcard(last, name) || MatchesWildcard(last, short_names[name]);
      if ((with_folders || !is_folder) && match) names.push_back(name);
    }
    std::sort(names.begin(), names.end(), LessNoCase);
    return names;
  }
  std::error_code Copy(const std::string& from, const std::string& to, bool sharing) {
    Node* source = Find(from);
    if (source == nullptr || source->folder) return Code(std::errc::no_such_file_or_directory);
    if (source->held > (sharing ? 1 : 0)) return Code(std::errc::device_or_resource_busy);
    if (Key(from) == Key(to)) return make_error_code(Errc::kSameFile);
    AddFile(to, source->content, source->modified);
    return {};
  }

  std::map<std::string, Node> nodes_;
  std::vector<Injected> faults_;
  std::uint64_t next_id_ = 1;
};

// Reads the INI files of a FakeFiles by the rules that the POSIX reader follows too.
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
  std::string tail;
  bool GetVariable(const std::string& name, std::string* value) override {
    const auto it = std::find_if(variables.begin(), variables.end(), [&](const auto& variable) {
      return SameNoCase(variable.first, name);
    });
    if (it != variables.end()) *value = it->second;
    return it != variables.end();
  }
  std::uint32_t GetVersion() override { return 0x1DB10106; }  // 6.1, NT family.
  std::string ProgramPath() override { return "C:\\Tools\\quillet.exe"; }
  std::string CommandTail() override { return tail; }
  std::string ComputerName() override { return "HMI-PC"; }
  std::string SystemName() override { return "Windows NT 6.1 build 7601"; }
  std::string ToUtf8(const std::string& text) override { return text; }
};

// Every call in order: "Show", "Hide", "Label:<text>", "Front",
// "Place:x,y,w,h", "Yield", "Message:<text>", "Error:<text>", or "ErrorBox:<text>" in a box
// that waits for someone to press OK.
class FakeWindow : public StatusWindow {
 public:
  Names events;
  // The texts of the events of one kind.
  Names With(const std::string& prefix) const {
    Names texts;
    for (const std::string& e : events)
      if (e.rfind(prefix, 0) == 0) texts.push_back(e.substr(prefix.size()));
    return texts;
  }
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
  void ReportError(const std::string& text, bool interactive) override {
    events.push_back((interactive ? "ErrorBox:" : "Error:") + text);
  }
  std::uintptr_t Handle() override { return 0x100; }
};

class FakeClock : public Clock {
 public:
  int slept_ms = 0;
  LocalTime Now() override { return {2027, 3, 1, 9, 5, 7, -330}; }
  // Time moves only by sleeping, so durations are exact.
  long long Milliseconds() override { return slept_ms; }
  void Sleep(int ms) override { slept_ms += ms; }
};

// Starts a program only when its file exists in the FakeFiles; `on_start`
// may then act as the program would, and its result is the exit code.
class FakeProcesses : public Processes {
 public:
  explicit FakeProcesses(FakeFiles* files) : files_(files) {}
  std::function<int(const std::string& command_line)> on_start;
  bool hang = false;  // Programs started now never end by themselves.
  std::error_code Start(const std::string& command_line, bool, ChildProcess* child) override {
    // The first word, or the first quoted words, name the program.
    const bool quoted = !command_line.empty() && command_line[0] == '"';
    std::string program =
        command_line.substr(quoted, command_line.find(quoted ? '"' : ' ', 1) - quoted);
    FileInfo info;
    if (files_->Stat(program, &info) || info.folder)
      return std::make_error_code(std::errc::no_such_file_or_directory);
    child->id = ++started_;
    codes_[child->id] = on_start ? on_start(command_line) : 0;
    if (hang) hung_.insert(child->id);
    return {};
  }
  WaitResult Wait(const ChildProcess& child, int) override {
    if (codes_.count(child.id) == 0) return WaitResult::kFailed;
    return hung_.count(child.id) != 0 ? WaitResult::kTimeout : WaitResult::kEnded;
  }
  // Ends the program with exit code 1, as the Windows backend does.
  void Terminate(ChildProcess* child) override {
    if (codes_.count(child->id) != 0) codes_[child->id] = 1;
    hung_.erase(child->id);
  }
  bool ExitCode(const ChildProcess& child, int* code) override {
    if (codes_.count(child.id) == 0 || hung_.count(child.id) != 0) return false;
    *code = codes_[child.id];
    return true;
  }
  void Close(ChildProcess* child) override { *child = ChildProcess(); }

 private:
  FakeFiles* files_;
  std::uintptr_t started_ = 0;
  std::map<std::uintptr_t, int> codes_;
  std::set<std::uintptr_t> hung_;  // Started while `hang` was set, and not ended since.
};

// A desktop of scripted top-level windows, listed from the top of the z-order down. Calls
// that act are logged in `calls`, and in `timeline` too.
class FakeDesktop : public Desktop {
 public:
  struct Window {
    WindowHandle handle;
    std::string title;
    WindowRect rect;
  };
  std::vector<Window> z_order;
  WindowHandle foreground = 0;
  bool grant_foreground = true;
  std::function<void(int x, int y)> on_click;  // With the absolute pointer position.
  Names calls;
  Names* timeline = nullptr;
  FakeFiles* files = nullptr;  // Where the pictures go.

  WindowHandle Neighbour(WindowHandle window, ZOrder where) override {
    for (std::size_t i = 0; i < z_order.size(); ++i) {
      if (z_order[i].handle != window) continue;
      if (where == ZOrder::kBelow) return i + 1 < z_order.size() ? z_order[i + 1].handle : 0;
      return i > 0 ? z_order[i - 1].handle : 0;
    }
    return 0;
  }
  std::string Title(WindowHandle window, int max_chars) override {
    const Window* w = Find(window);
    return w == nullptr ? "" : w->title.substr(0, static_cast<std::size_t>(max_chars));
  }
  void ScreenSizeInPixels(int* w, int* h) override {
    *w = 1024;
    *h = 768;
  }
  float twips_per_pixel = 15.0f;
  void TwipsPerPixel(float* x, float* y) override { *x = *y = twips_per_pixel; }
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
  WindowHandle FindTopLevel(const std::string& title) override {
    Record("Find");
    for (const Window& w : z_order)
      if (w.title == title) return w.handle;
    return 0;
  }
  void ShowTopmostAt(WindowHandle window, int x, int y, int w, int h) override {
    Record("Topmost " + std::to_string(window) + " " + std::to_string(x) + "," + std::to_string(y) +
           "," + std::to_string(w) + "," + std::to_string(h));
  }
  void PressPrintScreen() override { Record("PrintScreen"); }
  std::error_code SaveClipboardBitmap(const std::string&) override {
    Record("Clipboard");
    return std::make_error_code(std::errc::io_error);  // The clipboard holds no picture.
  }
  bool no_screen = false;  // A session without a screen to capture.
  std::error_code CaptureScreenBitmap(const std::string& path) override {
    Record("Capture");
    if (no_screen) return std::make_error_code(std::errc::io_error);
    files->AddFile(path, "BM Capture");
    return {};
  }

 private:
  void Record(const std::string& call) {
    calls.push_back(call);
    timeline->push_back(call);
  }
  void Foreground(const std::string& call, WindowHandle window) {
    Record(call + " " + std::to_string(window));
    if (grant_foreground) foreground = window;
  }
  const Window* Find(WindowHandle handle) const {
    for (const Window& w : z_order)
      if (w.handle == handle) return &w;
    return nullptr;
  }
  int x_ = 0, y_ = 0;
};

class FakeLock : public RunLock {
 public:
  LockResult Take(std::error_code*) override { return LockResult::kTaken; }
};

// One set of fakes and a platform over them, with the program in C:\Tools,
// its settings file C:\Tools\quillet.ini and the packer in its tools folder.
struct FakePlatform {
  FakePlatform() {
    desktop.files = &files;
    desktop.timeline = &window.events;
    for (const char* folder : {"C:\\Tools", "T:\\Target", "C:\\Pantra"}) files.AddFolder(folder);
    files.AddFile("C:\\MorvaTools\\Quillet\\Zip.exe", "packer");
  }
  FakeFiles files;
  FakeSettings settings{&files};
  FakeEnvironment environment;
  FakeWindow window;
  FakeClock clock;
  FakeProcesses processes{&files};
  FakeDesktop desktop;
  FakeLock lock;
  Platform platform{&files, &processes, &environment, &settings, &window, &clock, &desktop, &lock};
  // Writes the settings file: section Project with TargetPath T:\Target and
  // `project`, then `sections`; lines end in "\n".
  void WriteSettings(const std::string& sections, const std::string& project = "") {
    files.AddFile("C:\\Tools\\quillet.ini",
                  "[Project]\nTargetPath=T:\\Target\n" + project + sections);
  }
  // Makes the started packer write a true archive of the staging folder, then call `then`.
  void PackerMakesArchives(std::function<void()> then = nullptr) {
    processes.on_start = [this, then](const std::string& command_line) {
      // "<packer> -j <archive> <folder>\*.*", none of them quoted here.
      const std::size_t archive_at = command_line.find(" -j ") + 4;
      const std::size_t pattern_at = command_line.find(' ', archive_at);
      const std::string folder = fake_detail::ParentOf(command_line.substr(pattern_at + 1));
      std::vector<std::pair<std::string, std::string>> entries;
      for (const std::string& name : files.List(folder)) {
        FileInfo info;
        files.Stat(folder + "\\" + name, &info);
        if (!info.folder) entries.push_back({name, files.Content(folder + "\\" + name)});
      }
      files.AddFile(command_line.substr(archive_at, pattern_at - archive_at),
                    fake_detail::StoredZip(entries));
      if (then) then();
      return 0;
    };
  }
};

}  // namespace quillet::testing

#endif  // QUILLET_TESTS_FAKES_FAKES_H_
