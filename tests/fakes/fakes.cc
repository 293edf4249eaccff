#include "tests/fakes/fakes.h"

#include <zlib.h>

#include <algorithm>

#include "platform/errors.h"
#include "platform/text.h"
#include "platform/wildcard.h"

namespace quillet::testing {
namespace {

std::string Backslashes(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::string Key(const std::string& path) { return Upper(Backslashes(path)); }

std::error_code Code(std::errc e) { return std::make_error_code(e); }

class FakeInputFile : public InputFile {
 public:
  explicit FakeInputFile(std::string content) : content_(std::move(content)) {}
  std::uint64_t Size() override { return content_.size(); }
  std::error_code ReadAt(std::uint64_t offset, void* buffer, std::size_t size,
                         std::size_t* got) override {
    *got = offset >= content_.size() ? 0 : std::min<std::size_t>(size, content_.size() - offset);
    if (*got > 0) content_.copy(static_cast<char*>(buffer), *got, offset);
    return {};
  }

 private:
  std::string content_;
};

void Put(std::string* out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>(value >> (8 * i)));
}

// A zip archive of stored entries, enough for the run to read it back.
std::string StoredZip(const std::vector<std::pair<std::string, std::string>>& files) {
  std::string data, directory;
  for (const auto& [name, content] : files) {
    const std::uint32_t crc = static_cast<std::uint32_t>(crc32(
        0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())));
    const std::uint32_t offset = static_cast<std::uint32_t>(data.size());
    std::string fields;  // Method, time, date, CRC and sizes, as both headers hold them.
    Put(&fields, 0, 2);
    Put(&fields, 0, 4);
    Put(&fields, crc, 4);
    Put(&fields, static_cast<std::uint32_t>(content.size()), 4);
    Put(&fields, static_cast<std::uint32_t>(content.size()), 4);
    Put(&fields, static_cast<std::uint32_t>(name.size()), 2);
    Put(&data, 0x04034b50, 4);
    Put(&data, 20, 4);
    data += fields;
    Put(&data, 0, 2);
    data += name + content;
    Put(&directory, 0x02014b50, 4);
    Put(&directory, 20, 4);
    Put(&directory, 0, 2);
    directory += fields;
    Put(&directory, 0, 4);
    Put(&directory, 0, 4);
    Put(&directory, 0, 4);
    Put(&directory, offset, 4);
    directory += name;
  }
  std::string end;
  Put(&end, 0x06054b50, 4);
  Put(&end, 0, 4);
  Put(&end, static_cast<std::uint32_t>(files.size()), 2);
  Put(&end, static_cast<std::uint32_t>(files.size()), 2);
  Put(&end, static_cast<std::uint32_t>(directory.size()), 4);
  Put(&end, static_cast<std::uint32_t>(data.size()), 4);
  Put(&end, 0, 2);
  return data + directory + end;
}

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

// Writing a file that exists keeps it the same file, as a writer would; the
// folders on its way are made as needed.
void FakeFiles::AddFile(const std::string& path, const std::string& content,
                        const LocalTime& modified) {
  std::string parent, last;
  SplitLastComponent(Backslashes(path), &parent, &last);
  if (parent.size() > 2 && !Exists(parent)) AddFolder(parent);
  const Node* old = Find(path);
  const std::uint64_t id = old != nullptr ? old->id : next_id_++;
  nodes_[Key(path)] = Node{Backslashes(path), false, 0, content, modified, id};
}

void FakeFiles::AddFolder(const std::string& path) {
  std::string parent, last;
  SplitLastComponent(Backslashes(path), &parent, &last);
  if (parent.size() > 2 && !Exists(parent)) AddFolder(parent);
  nodes_[Key(path)] = Node{Backslashes(path), true, 0, "", {}, next_id_++};
}

bool FakeFiles::Exists(const std::string& path) const { return nodes_.count(Key(path)) != 0; }

std::string FakeFiles::Content(const std::string& path) const {
  auto it = nodes_.find(Key(path));
  return it == nodes_.end() ? "" : it->second.content;
}

Names FakeFiles::List(const std::string& folder) const {
  Names names;
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

void FakeFiles::HoldOpen(const std::string& path, bool shared) {
  Find(path)->held_open = shared ? 1 : 2;
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

FakeFiles::Node* FakeFiles::Find(const std::string& path) {
  auto it = nodes_.find(Key(path));
  return it == nodes_.end() ? nullptr : &it->second;
}

std::vector<std::string> FakeFiles::Matches(const std::string& pattern, bool with_folders,
                                            std::string* folder) const {
  std::string last;
  SplitLastComponent(Backslashes(pattern), folder, &last);
  if (pattern.find_first_of("\\/") == std::string::npos) *folder = current_dir;
  std::vector<std::string> names;
  for (const std::string& name : List(*folder)) {
    const Node& node = nodes_.at(Key(*folder + "\\" + name));
    if ((with_folders || !node.folder) && MatchesWildcard(last, name)) names.push_back(name);
  }
  std::sort(names.begin(), names.end(), LessNoCase);
  return names;
}

std::error_code FakeFiles::DirFirst(const std::string& pattern, bool with_folders,
                                    std::string* name) {
  search_.clear();
  next_ = 0;
  if (Injected("DirFirst", pattern)) return Code(std::errc::io_error);
  std::string folder;
  search_ = Matches(pattern, with_folders, &folder);
  return DirNext(name);
}

std::error_code FakeFiles::DirNext(std::string* name) {
  *name = next_ < search_.size() ? search_[next_++] : "";
  return {};
}

std::error_code FakeFiles::KillFiles(const std::string& pattern) {
  if (Injected("KillFiles", pattern)) return Code(std::errc::io_error);
  std::string folder;
  const std::vector<std::string> names = Matches(pattern, false, &folder);
  if (names.empty()) return Code(std::errc::no_such_file_or_directory);
  std::error_code result;
  for (const std::string& name : names) {
    if (std::error_code error = DeleteFile(folder + "\\" + name)) result = error;
  }
  return result;
}

std::error_code FakeFiles::DeleteFile(const std::string& path) {
  if (Injected("DeleteFile", path)) return Code(std::errc::io_error);
  Node* node = Find(path);
  if (node == nullptr || HasWildcards(path)) return Code(std::errc::no_such_file_or_directory);
  if (node->folder) return Code(std::errc::permission_denied);
  if (node->held_open != 0) return Code(std::errc::device_or_resource_busy);
  nodes_.erase(Key(path));
  return {};
}

std::error_code FakeFiles::DeleteVerified(const std::string& path,
                                          const std::function<bool(InputFile&)>& verify) {
  if (Injected("DeleteVerified", path)) return Code(std::errc::io_error);
  Node* node = Find(path);
  if (node == nullptr || node->folder) return Code(std::errc::no_such_file_or_directory);
  if (node->held_open != 0) return Code(std::errc::device_or_resource_busy);
  const std::string read = node->content;
  FakeInputFile file(read);
  if (!verify(file)) return make_error_code(Errc::kChanged);
  if (on_verify) on_verify(path);
  // A writer that got in while the file was read changed what was verified.
  if (Content(path) != read) return make_error_code(Errc::kChanged);
  nodes_.erase(Key(path));
  return {};
}

std::error_code FakeFiles::RenamePath(const std::string& from, const std::string& to) {
  if (Injected("RenamePath", from)) return Code(std::errc::io_error);
  Node* node = Find(from);
  if (node == nullptr) return Code(std::errc::no_such_file_or_directory);
  if (Exists(to)) return Code(std::errc::file_exists);
  if (node->held_open != 0) return Code(std::errc::device_or_resource_busy);
  Node moved = *node;
  nodes_.erase(Key(from));
  moved.path = Backslashes(to);
  nodes_[Key(to)] = moved;
  return {};
}

std::error_code FakeFiles::MakeDir(const std::string& path) {
  if (Injected("MakeDir", path)) return Code(std::errc::io_error);
  if (Exists(path)) return Code(std::errc::file_exists);
  std::string parent, last;
  SplitLastComponent(Backslashes(path), &parent, &last);
  if (parent.size() > 2 && !Exists(parent)) return Code(std::errc::no_such_file_or_directory);
  AddFolder(path);
  return {};
}

std::error_code FakeFiles::RemoveDir(const std::string& path) {
  if (Injected("RemoveDir", path)) return Code(std::errc::io_error);
  Node* node = Find(path);
  if (node == nullptr || !node->folder) return Code(std::errc::no_such_file_or_directory);
  if (!List(path).empty()) return Code(std::errc::directory_not_empty);
  nodes_.erase(Key(path));
  return {};
}

std::error_code FakeFiles::CurrentDir(std::string* path) {
  if (Injected("CurrentDir", "")) return Code(std::errc::io_error);
  *path = current_dir;
  return {};
}

std::error_code FakeFiles::ChangeDir(const std::string& path) {
  if (Injected("ChangeDir", path)) return Code(std::errc::io_error);
  Node* node = Find(path);
  if (node == nullptr || !node->folder) return Code(std::errc::no_such_file_or_directory);
  current_dir = node->path;
  return {};
}

std::error_code FakeFiles::Copy(const std::string& from, const std::string& to, bool sharing) {
  Node* source = Find(from);
  if (source == nullptr || source->folder) return Code(std::errc::no_such_file_or_directory);
  if (source->held_open > (sharing ? 1 : 0)) return Code(std::errc::device_or_resource_busy);
  if (Key(from) == Key(to)) return make_error_code(Errc::kSameFile);
  if (source->content.size() > free_bytes) return Code(std::errc::no_space_on_device);
  if (Node* target = Find(to)) {
    if (target->folder || target->held_open != 0) return Code(std::errc::permission_denied);
  }
  AddFile(to, source->content, source->modified);
  return {};
}

std::error_code FakeFiles::CopyFile(const std::string& from, const std::string& to,
                                    bool overwrite) {
  if (Injected("CopyFile", from)) return Code(std::errc::io_error);
  if (!overwrite && Exists(to)) return Code(std::errc::file_exists);
  return Copy(from, to, false);
}

std::error_code FakeFiles::CopyOpenFile(const std::string& from, const std::string& to) {
  if (Injected("CopyOpenFile", from)) return Code(std::errc::io_error);
  return Copy(from, to, true);
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
    const bool inside = it->first.compare(0, prefix.size(), prefix) == 0;
    if (inside && it->second.held_open != 0) result = Code(std::errc::device_or_resource_busy);
    it = inside && it->second.held_open == 0 ? nodes_.erase(it) : std::next(it);
  }
  if (!result) nodes_.erase(Key(path));
  return result;
}

std::error_code FakeFiles::OpenText(const std::string& path, OpenMode mode,
                                    std::unique_ptr<TextFile>* file) {
  if (Injected("OpenText", path)) return Code(std::errc::permission_denied);
  std::string parent, last;
  SplitLastComponent(Backslashes(path), &parent, &last);
  if (parent.size() > 2 && !Exists(parent)) return Code(std::errc::no_such_file_or_directory);
  Node* node = Find(path);
  if (node == nullptr) {
    AddFile(path);
  } else if (mode == OpenMode::kOutput) {
    node->content.clear();
  }
  *file = std::make_unique<FakeTextFile>(this, Key(path));
  return {};
}

std::error_code FakeFiles::OpenRead(const std::string& path, std::unique_ptr<InputFile>* file) {
  if (Injected("OpenRead", path)) return Code(std::errc::io_error);
  Node* node = Find(path);
  if (node == nullptr || node->folder) return Code(std::errc::no_such_file_or_directory);
  if (node->held_open == 2) return Code(std::errc::device_or_resource_busy);
  *file = std::make_unique<FakeInputFile>(node->content);
  return {};
}

std::error_code FakeFiles::Stat(const std::string& path, FileInfo* info) {
  if (Injected("Stat", path)) return Code(std::errc::io_error);
  const Node* node = Find(path);
  if (node == nullptr) return Code(std::errc::no_such_file_or_directory);
  *info = FileInfo{node->content.size(), node->modified, node->folder, FileId{1, node->id}};
  return {};
}

bool FakeEnvironment::GetVariable(const std::string& name, std::string* value) {
  for (const auto& [key, text] : variables) {
    if (SameNoCase(key, name)) {
      *value = text;
      return true;
    }
  }
  return false;
}

Names FakeWindow::With(const std::string& prefix) const {
  Names texts;
  for (const std::string& e : events) {
    if (e.compare(0, prefix.size(), prefix) == 0) texts.push_back(e.substr(prefix.size()));
  }
  return texts;
}

void FakeWindow::PlaceTopmost(int x, int y, int w, int h) {
  events.push_back("Place:" + std::to_string(x) + "," + std::to_string(y) + "," +
                   std::to_string(w) + "," + std::to_string(h));
}

std::error_code FakeProcesses::Start(const std::string& command_line, bool group,
                                     ChildProcess* child) {
  launches.push_back({command_line, files_->current_dir, group});
  std::string program =
      command_line.substr(0, command_line.find(command_line[0] == '"' ? '"' : ' ', 1));
  program.erase(std::remove(program.begin(), program.end(), '"'), program.end());
  FileInfo info;
  if (files_->Stat(program, &info) || info.folder)
    return Code(std::errc::no_such_file_or_directory);
  child->id = launches.size();
  exit_codes_[child->id] = on_start ? on_start(command_line) : 0;
  return {};
}

WaitResult FakeProcesses::Wait(const ChildProcess& child, int) {
  if (child.id == 0) return WaitResult::kFailed;
  return hang ? WaitResult::kTimeout : WaitResult::kEnded;
}

void FakeProcesses::Terminate(ChildProcess* child) {
  ++terminated;
  exit_codes_.erase(child->id);
}

bool FakeProcesses::ExitCode(const ChildProcess& child, int* code) {
  auto it = exit_codes_.find(child.id);
  if (it == exit_codes_.end() || hang) return false;
  *code = it->second;
  return true;
}

const FakeDesktop::Window* FakeDesktop::Find(WindowHandle handle) const {
  for (const Window& w : z_order) {
    if (w.handle == handle) return &w;
  }
  return nullptr;
}

WindowHandle FakeDesktop::Neighbour(WindowHandle window, ZOrder where) {
  for (std::size_t i = 0; i < z_order.size(); ++i) {
    if (z_order[i].handle != window) continue;
    if (where == ZOrder::kBelow) return i + 1 < z_order.size() ? z_order[i + 1].handle : 0;
    return i > 0 ? z_order[i - 1].handle : 0;
  }
  return 0;
}

std::string FakeDesktop::Title(WindowHandle window, int max_chars) {
  const Window* w = Find(window);
  return w == nullptr ? "" : w->title.substr(0, static_cast<std::size_t>(max_chars));
}

bool FakeDesktop::OuterRect(WindowHandle window, WindowRect* rect) {
  const Window* w = Find(window);
  if (w == nullptr) return false;
  *rect = w->rect;
  return true;
}

void FakeDesktop::MovePointerTo(int x, int y) {
  Record("Move " + std::to_string(x) + "," + std::to_string(y));
  x_ = x;
  y_ = y;
}

void FakeDesktop::Click(MouseButton button) {
  Record("Click " + std::to_string(static_cast<int>(button)));
  if (on_click) on_click(x_, y_);
}

void FakeDesktop::BringToFront(WindowHandle window) {
  Log("Front", window);
  if (grant_foreground) foreground = window;
}

void FakeDesktop::RequestForeground(WindowHandle window) {
  Log("Foreground", window);
  if (grant_foreground) foreground = window;
}

WindowHandle FakeDesktop::FindTopLevel(const std::string& title) {
  Record("Find");
  for (const Window& w : z_order) {
    if (w.title == title) return w.handle;
  }
  return 0;
}

void FakeDesktop::ShowTopmostAt(WindowHandle window, int x, int y, int w, int h) {
  Record("Topmost " + std::to_string(window) + " " + std::to_string(x) + "," + std::to_string(y) +
         "," + std::to_string(w) + "," + std::to_string(h));
}

std::error_code FakeDesktop::SaveClipboardBitmap(const std::string& path) {
  Record("Clipboard");
  if (!clipboard_has_bitmap) return Code(std::errc::io_error);
  if (files != nullptr) files->AddFile(path, "BM clipboard");
  return {};
}

std::error_code FakeDesktop::CaptureScreenBitmap(const std::string& path) {
  Record("Capture");
  if (!can_capture) return Code(std::errc::io_error);
  if (files != nullptr) files->AddFile(path, "BM screen");
  return {};
}

FakePlatform::FakePlatform() {
  platform =
      Platform{&files, &processes, &environment, &settings, &window, &clock, &desktop, &lock};
  desktop.files = &files;
  desktop.timeline = &window.events;
  files.AddFolder("C:\\Tools");
  files.AddFolder("T:\\Target");
  files.AddFolder("C:\\MorvaTools\\Quillet");
  files.AddFile("C:\\MorvaTools\\Quillet\\Zip.exe", "packer");
  files.AddFolder("C:\\Pantra");
}

void FakePlatform::WriteSettings(const std::string& sections, const std::string& project) {
  files.AddFile("C:\\Tools\\quillet.ini",
                "[Project]\nTargetPath=T:\\Target\n" + project + sections);
}

void FakePlatform::PackerMakesArchives() {
  processes.on_start = [this](const std::string& command_line) {
    // "<packer> -j <archive> <folder>\*.*", none of them quoted here.
    const std::size_t archive_at = command_line.find(" -j ") + 4;
    const std::size_t pattern_at = command_line.find(' ', archive_at);
    const std::string archive = command_line.substr(archive_at, pattern_at - archive_at);
    const std::string folder =
        command_line.substr(pattern_at + 1, command_line.size() - pattern_at - 5);
    std::vector<std::pair<std::string, std::string>> entries;
    for (const std::string& name : files.List(folder)) {
      entries.push_back({name, files.Content(folder + "\\" + name)});
    }
    files.AddFile(archive, StoredZip(entries));
    return 0;
  };
}

}  // namespace quillet::testing
