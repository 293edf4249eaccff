#include "tests/unit/fakes.h"

#include <algorithm>
#include <cctype>

#include "platform/wildcard.h"

namespace quillet::testing {
namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Backslashes(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::error_code Code(std::errc e) { return std::make_error_code(e); }

}  // namespace

class FakeTextFile : public TextFile {
 public:
  FakeTextFile(FakeFiles* files, std::string key) : files_(files), key_(std::move(key)) {}
  std::error_code AppendLine(const std::string& text) override {
    if (files_->Injected("AppendLine", files_->nodes_[key_].path)) return Code(std::errc::io_error);
    files_->nodes_[key_].content += text + "\r\n";
    return {};
  }

 private:
  FakeFiles* files_;
  std::string key_;
};

std::string FakeFiles::Key(const std::string& path) { return Upper(Backslashes(path)); }

void FakeFiles::AddFile(const std::string& path, const std::string& content) {
  nodes_[Key(path)] = Node{Backslashes(path), false, false, 0, content};
}

void FakeFiles::AddFolder(const std::string& path) {
  nodes_[Key(path)] = Node{Backslashes(path), true, false, 0, ""};
}

bool FakeFiles::Exists(const std::string& path) const { return nodes_.count(Key(path)) != 0; }

std::string FakeFiles::Content(const std::string& path) const {
  auto it = nodes_.find(Key(path));
  return it == nodes_.end() ? "" : it->second.content;
}

std::vector<std::string> FakeFiles::List(const std::string& folder) const {
  std::vector<std::string> names;
  const std::string prefix = Key(folder) + "\\";
  for (const auto& [key, node] : nodes_) {
    if (key.compare(0, prefix.size(), prefix) == 0 &&
        key.find('\\', prefix.size()) == std::string::npos) {
      names.push_back(node.path.substr(prefix.size()));
    }
  }
  return names;
}

void FakeFiles::FailOn(const std::string& call, const std::string& part, int skip) {
  faults_.push_back(Fault{call, Upper(part), skip});
}

void FakeFiles::Lock(const std::string& path) { nodes_[Key(path)].locked = true; }

void FakeFiles::HoldOpen(const std::string& path, bool shared) {
  nodes_[Key(path)].held_open = shared ? 1 : 2;
}

bool FakeFiles::Injected(const std::string& call, const std::string& path) {
  log.push_back(call + " " + path);
  for (Fault& fault : faults_) {
    if (fault.call == call && Key(path).find(fault.part) != std::string::npos &&
        fault.skip-- <= 0) {
      return true;
    }
  }
  return false;
}

std::string FakeFiles::SearchFolder(const std::string& pattern, std::string* last) const {
  std::string folder;
  SplitLastComponent(Backslashes(pattern), &folder, last);
  return pattern.find_first_of("\\/") == std::string::npos ? current_dir : folder;
}

std::vector<std::string> FakeFiles::Matches(const std::string& pattern, bool with_folders) const {
  std::string last;
  const std::string folder = SearchFolder(pattern, &last);
  std::vector<std::string> names;
  for (const std::string& name : List(folder)) {
    const Node& node = nodes_.at(Key(folder + "\\" + name));
    if ((with_folders || !node.folder) && MatchesWildcard(last, name)) names.push_back(name);
  }
  return names;
}

std::error_code FakeFiles::DirFirst(const std::string& pattern, bool with_folders,
                                    std::string* name) {
  search_.clear();
  next_ = 0;
  if (Injected("DirFirst", pattern)) return Code(std::errc::io_error);
  search_ = Matches(pattern, with_folders);
  return DirNext(name);
}

std::error_code FakeFiles::DirNext(std::string* name) {
  *name = next_ < search_.size() ? search_[next_++] : "";
  return {};
}

std::error_code FakeFiles::KillFiles(const std::string& pattern) {
  if (Injected("KillFiles", pattern)) return Code(std::errc::io_error);
  std::string last;
  const std::string folder = SearchFolder(pattern, &last);
  const std::vector<std::string> names = Matches(pattern, false);
  if (names.empty()) return Code(std::errc::no_such_file_or_directory);
  std::error_code result;
  for (const std::string& name : names) {
    auto it = nodes_.find(Key(folder + "\\" + name));
    if (it->second.locked) {
      result = Code(std::errc::permission_denied);
    } else {
      nodes_.erase(it);
    }
  }
  return result;
}

std::error_code FakeFiles::RenamePath(const std::string& from, const std::string& to) {
  if (Injected("RenamePath", from)) return Code(std::errc::io_error);
  auto it = nodes_.find(Key(from));
  if (it == nodes_.end()) return Code(std::errc::no_such_file_or_directory);
  if (Exists(to)) return Code(std::errc::file_exists);
  if (it->second.locked) return Code(std::errc::permission_denied);
  Node node = it->second;
  nodes_.erase(it);
  node.path = Backslashes(to);
  nodes_[Key(to)] = node;
  return {};
}

std::error_code FakeFiles::MakeDir(const std::string& path) {
  if (Injected("MakeDir", path)) return Code(std::errc::io_error);
  if (Exists(path)) return Code(std::errc::file_exists);
  std::string parent, last;
  SplitLastComponent(Backslashes(path), &parent, &last);
  if (!parent.empty() && parent.size() > 2 && !Exists(parent)) {
    return Code(std::errc::no_such_file_or_directory);
  }
  AddFolder(path);
  return {};
}

std::error_code FakeFiles::RemoveDir(const std::string& path) {
  if (Injected("RemoveDir", path)) return Code(std::errc::io_error);
  auto it = nodes_.find(Key(path));
  if (it == nodes_.end() || !it->second.folder) return Code(std::errc::no_such_file_or_directory);
  if (!List(path).empty()) return Code(std::errc::directory_not_empty);
  nodes_.erase(it);
  return {};
}

std::error_code FakeFiles::CurrentDir(std::string* path) {
  if (Injected("CurrentDir", "")) return Code(std::errc::io_error);
  *path = current_dir;
  return {};
}

std::error_code FakeFiles::ChangeDir(const std::string& path) {
  if (Injected("ChangeDir", path)) return Code(std::errc::io_error);
  auto it = nodes_.find(Key(path));
  if (it == nodes_.end() || !it->second.folder) return Code(std::errc::no_such_file_or_directory);
  current_dir = it->second.path;
  return {};
}

std::error_code FakeFiles::CopyFile(const std::string& from, const std::string& to,
                                    bool overwrite) {
  if (Injected("CopyFile", from)) return Code(std::errc::io_error);
  auto it = nodes_.find(Key(from));
  if (it == nodes_.end() || it->second.folder) return Code(std::errc::no_such_file_or_directory);
  if (it->second.held_open != 0) return Code(std::errc::device_or_resource_busy);
  if (it->second.content.size() > free_bytes) return Code(std::errc::no_space_on_device);
  auto target = nodes_.find(Key(to));
  if (target != nodes_.end() && (!overwrite || target->second.locked || target->second.folder)) {
    return Code(std::errc::file_exists);
  }
  AddFile(to, it->second.content);
  return {};
}

std::error_code FakeFiles::CopyOpenFile(const std::string& from, const std::string& to) {
  if (Injected("CopyOpenFile", from)) return Code(std::errc::io_error);
  auto it = nodes_.find(Key(from));
  if (it == nodes_.end() || it->second.held_open == 2) return Code(std::errc::permission_denied);
  AddFile(to, it->second.content);
  return {};
}

std::error_code FakeFiles::FreeSpace(const std::string& path, std::uint64_t* bytes) {
  if (Injected("FreeSpace", path)) return Code(std::errc::io_error);
  *bytes = free_bytes;
  return {};
}

std::error_code FakeFiles::DeleteFolder(const std::string& path, bool) {
  if (Injected("DeleteFolder", path)) return Code(std::errc::io_error);
  if (!Exists(path)) return Code(std::errc::no_such_file_or_directory);
  const std::string prefix = Key(path) + "\\";
  std::error_code result;
  for (auto it = nodes_.begin(); it != nodes_.end();) {
    if (it->first.compare(0, prefix.size(), prefix) == 0 && !it->second.locked) {
      it = nodes_.erase(it);
    } else {
      if (it->first.compare(0, prefix.size(), prefix) == 0)
        result = Code(std::errc::permission_denied);
      ++it;
    }
  }
  if (!result) nodes_.erase(Key(path));
  return result;
}

std::error_code FakeFiles::OpenText(const std::string& path, OpenMode mode,
                                    std::unique_ptr<TextFile>* file) {
  if (Injected("OpenText", path)) return Code(std::errc::permission_denied);
  auto it = nodes_.find(Key(path));
  if (it == nodes_.end()) {
    AddFile(path);
  } else if (mode == OpenMode::kOutput) {
    it->second.content.clear();
  }
  *file = std::make_unique<FakeTextFile>(this, Key(path));
  return {};
}

std::error_code FakeFiles::FileSize(const std::string& path, std::uint64_t* size) {
  if (Injected("FileSize", path)) return Code(std::errc::io_error);
  auto it = nodes_.find(Key(path));
  if (it == nodes_.end() || it->second.folder) return Code(std::errc::no_such_file_or_directory);
  *size = it->second.content.size();
  return {};
}

void FakeSettings::Set(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& value) {
  values_[Upper(file + "|" + section + "|" + key)] = value;
}

std::string FakeSettings::Read(const std::string& section, const std::string& key,
                               const std::string& file) {
  reads.push_back(section + "/" + key);
  auto it = values_.find(Upper(file + "|" + section + "|" + key));
  return it == values_.end() ? "" : it->second.substr(0, kMaxIniValue);
}

bool FakeEnvironment::GetVariable(const std::string& name, std::string* value) {
  for (const auto& [key, text] : variables) {
    if (Upper(key) == Upper(name)) {
      *value = text;
      return true;
    }
  }
  return false;
}

std::vector<std::string> FakeWindow::Messages() const {
  std::vector<std::string> texts;
  for (const std::string& e : events) {
    if (e.compare(0, 8, "Message:") == 0) texts.push_back(e.substr(8));
  }
  return texts;
}

std::vector<std::string> FakeWindow::Labels() const {
  std::vector<std::string> texts;
  for (const std::string& e : events) {
    if (e.compare(0, 6, "Label:") == 0) texts.push_back(e.substr(6));
  }
  return texts;
}

void FakeWindow::PlaceTopmost(int x, int y, int w, int h) {
  events.push_back("Place:" + std::to_string(x) + "," + std::to_string(y) + "," +
                   std::to_string(w) + "," + std::to_string(h));
}

std::error_code FakeProcesses::Start(const std::string& command_line, bool group,
                                     ChildProcess* child) {
  launches.push_back({command_line, files_->current_dir});
  as_group.push_back(group);
  if (fail_start) return std::make_error_code(std::errc::no_such_file_or_directory);
  if (on_start) on_start(command_line);
  child->id = launches.size();
  return {};
}

WaitResult FakeProcesses::Wait(const ChildProcess& child, int) {
  if (child.id == 0) return WaitResult::kFailed;
  return hang ? WaitResult::kTimeout : WaitResult::kEnded;
}

const FakeDesktop::Window* FakeDesktop::Find(WindowHandle handle) const {
  for (const Window& w : z_order) {
    if (w.handle == handle) return &w;
  }
  return nullptr;
}

WindowHandle FakeDesktop::GetWindow(WindowHandle window, ZOrder relation) {
  for (std::size_t i = 0; i < z_order.size(); ++i) {
    if (z_order[i].handle != window) continue;
    if (relation == ZOrder::kNext) return i + 1 < z_order.size() ? z_order[i + 1].handle : 0;
    return i > 0 ? z_order[i - 1].handle : 0;
  }
  return 0;
}

std::string FakeDesktop::GetWindowText(WindowHandle window, int buffer_size) {
  const Window* w = Find(window);
  return w == nullptr ? "" : w->title.substr(0, static_cast<std::size_t>(buffer_size - 1));
}

bool FakeDesktop::GetWindowRect(WindowHandle window, WindowRect* rect) {
  const Window* w = Find(window);
  if (w == nullptr) return false;
  *rect = w->rect;
  return true;
}

void FakeDesktop::MouseEvent(unsigned flags, int dx, int dy) {
  calls.push_back("Mouse " + std::to_string(flags) + " " + std::to_string(dx) + "," +
                  std::to_string(dy));
  if (flags & 0x8000) {
    last_dx_ = dx;
    last_dy_ = dy;
  } else if (on_click) {
    on_click(last_dx_, last_dy_);
  }
}

void FakeDesktop::ShowWindow(WindowHandle window, int command) {
  calls.push_back("Show " + std::to_string(window) + " " + std::to_string(command));
}

void FakeDesktop::SetForegroundWindow(WindowHandle window) {
  calls.push_back("Foreground " + std::to_string(window));
  if (grant_foreground) foreground = window;
}

void FakeDesktop::SetActiveWindow(WindowHandle window) {
  calls.push_back("Active " + std::to_string(window));
}

WindowHandle FakeDesktop::FindWindow(const std::string& title) {
  ++find_calls;
  for (const Window& w : z_order) {
    if (w.title == title) return w.handle;
  }
  return 0;
}

void FakeDesktop::SetWindowPos(WindowHandle window, WindowHandle after, int x, int y, int w, int h,
                               unsigned flags) {
  calls.push_back("Pos " + std::to_string(window) + " " + std::to_string(after == kTopmost) + " " +
                  std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(w) + "," +
                  std::to_string(h) + " " + std::to_string(flags));
}

std::error_code FakeDesktop::SaveClipboardBitmap(const std::string& path) {
  calls.push_back("Clipboard " + path);
  return clipboard_has_bitmap ? std::error_code() : std::make_error_code(std::errc::io_error);
}

std::error_code FakeDesktop::CaptureScreenBitmap(const std::string& path) {
  calls.push_back("Capture " + path);
  return can_capture ? std::error_code() : std::make_error_code(std::errc::io_error);
}

void FakeRun::SetList(const std::string& section, const Names& values) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    settings.Set(kIni, section, std::to_string(i + 1), values[i]);
  }
}

void FakeRun::PackerMakesArchives() {
  processes.on_start = [this](const std::string& command_line) {
    const std::size_t switch_at = command_line.find(" -j ");
    if (switch_at == std::string::npos) return;
    const std::size_t start = switch_at + 4;
    files.AddFile(command_line.substr(start, command_line.find(' ', start) - start), "PK");
  };
}

FakeRun::FakeRun() {
  context.platform =
      Platform{&files, &processes, &environment, &settings, &window, &clock, &desktop};
  context.program_dir = "C:\\Tools";
  context.program_name = "quillet";
  context.state.ini_path = "C:\\Tools\\quillet.ini";
  context.state.target_path = "T:\\Target";
  context.state.os_tag = "XP";
  context.state.hmi_tag = "VW";
  FillDirVariables(&context.variables);
  files.AddFolder("C:\\Tools");
  files.AddFolder("T:\\Target");
}

}  // namespace quillet::testing
