#include "tests/fakes/fakes.h"

#include <zlib.h>

#include <algorithm>

#include "platform/errors.h"
#include "platform/text.h"
#include "platform/wildcard.h"

namespace quillet::testing {
namespace {

std::error_code Code(std::errc e) { return std::make_error_code(e); }

std::string Backslashes(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::string ParentOf(const std::string& path) {
  std::string parent, last;
  SplitLastComponent(Backslashes(path), &parent, &last);
  return parent;
}

class FakeInputFile : public InputFile {
 public:
  explicit FakeInputFile(std::string content) : content_(std::move(content)) {}
  std::uint64_t Size() override { return content_.size(); }
  std::error_code ReadAt(std::uint64_t at, void* buffer, std::size_t size,
                         std::size_t* got) override {
    *got = at >= content_.size() ? 0 : content_.copy(static_cast<char*>(buffer), size, at);
    return {};
  }

 private:
  std::string content_;
};

// `value` as `bytes` little-endian bytes; those beyond its eight are zeros.
std::string Le(std::uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(i < 8 ? value >> (8 * i) : 0));
  return out;
}

// A zip archive of stored entries, enough for the run to read it back.
std::string StoredZip(const std::vector<std::pair<std::string, std::string>>& files) {
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

}  // namespace

class FakeTextFile : public TextFile {
 public:
  FakeTextFile(FakeFiles* files, std::string path) : files_(files), path_(std::move(path)) {}
  std::error_code AppendLine(const std::string& text) override {
    if (auto error = files_->Fault("AppendLine", path_)) return error;
    files_->Find(path_)->content += text + "\r\n";
    return {};
  }

 private:
  FakeFiles* files_;
  std::string path_;
};

std::string FakeFiles::Key(const std::string& path) { return Upper(Backslashes(path)); }

void FakeFiles::AddFile(const std::string& path, const std::string& content,
                        const LocalTime& modified) {
  if (ParentOf(path).size() > 2 && !Exists(ParentOf(path))) AddFolder(ParentOf(path));
  const Node* old = Find(path);
  nodes_[Key(path)] =
      Node{Backslashes(path), false, 0, content, modified, old != nullptr ? old->id : next_id_++};
}

void FakeFiles::AddFolder(const std::string& path) {
  if (ParentOf(path).size() > 2 && !Exists(ParentOf(path))) AddFolder(ParentOf(path));
  nodes_[Key(path)] = Node{Backslashes(path), true, 0, "", {}, next_id_++};
}

std::string FakeFiles::Content(const std::string& path) const {
  auto it = nodes_.find(Key(path));
  return it == nodes_.end() ? "" : it->second.content;
}

Names FakeFiles::List(const std::string& folder) const {
  Names names;
  const std::string prefix = Key(folder) + "\\";
  for (const auto& [key, node] : nodes_) {
    if (key.rfind(prefix, 0) == 0 && key.find('\\', prefix.size()) == std::string::npos) {
      names.push_back(node.path.substr(prefix.size()));
    }
  }
  return names;
}

std::error_code FakeFiles::Fault(const std::string& call, const std::string& path) {
  log.push_back(call + " " + path);
  for (Injected& fault : faults_) {
    if (fault.call == call && Key(path).find(fault.part) != std::string::npos &&
        fault.skip-- <= 0) {
      return Code(std::errc::io_error);
    }
  }
  return {};
}

FakeFiles::Node* FakeFiles::Find(const std::string& path) {
  auto it = nodes_.find(Key(path));
  return it == nodes_.end() ? nullptr : &it->second;
}

bool FakeFiles::ParentExists(const std::string& path) const {
  return ParentOf(path).size() <= 2 || Exists(ParentOf(path));
}

Names FakeFiles::Matches(const std::string& pattern, bool with_folders, std::string* folder) const {
  std::string last;
  SplitLastComponent(Backslashes(pattern), folder, &last);
  if (pattern.find_first_of("\\/") == std::string::npos) *folder = current_dir;
  Names names;
  for (const std::string& name : List(*folder)) {
    const bool is_folder = nodes_.at(Key(*folder + "\\" + name)).folder;
    if ((with_folders || !is_folder) && MatchesWildcard(last, name)) names.push_back(name);
  }
  std::sort(names.begin(), names.end(), LessNoCase);
  return names;
}

std::error_code FakeFiles::DirFirst(const std::string& pattern, bool with_folders,
                                    std::string* name) {
  search_.clear();
  next_ = 0;
  if (auto error = Fault("DirFirst", pattern)) return error;
  std::string folder;
  search_ = Matches(pattern, with_folders, &folder);
  return DirNext(name);
}

std::error_code FakeFiles::KillFiles(const std::string& pattern) {
  if (auto error = Fault("KillFiles", pattern)) return error;
  std::string folder;
  const Names names = Matches(pattern, false, &folder);
  std::error_code result = names.empty() ? Code(std::errc::no_such_file_or_directory) : Code({});
  for (const std::string& name : names) {
    if (auto error = DeleteFile(folder + "\\" + name)) result = error;
  }
  return result;
}

std::error_code FakeFiles::DeleteFile(const std::string& path) {
  if (auto error = Fault("DeleteFile", path)) return error;
  Node* node = Find(path);
  if (node == nullptr || HasWildcards(path)) return Code(std::errc::no_such_file_or_directory);
  if (node->folder) return Code(std::errc::permission_denied);
  if (node->held != 0) return Code(std::errc::device_or_resource_busy);
  nodes_.erase(Key(path));
  return {};
}

std::error_code FakeFiles::DeleteVerified(const std::string& path,
                                          const std::function<bool(InputFile&)>& verify) {
  if (auto error = Fault("DeleteVerified", path)) return error;
  Node* node = Find(path);
  if (node == nullptr || node->folder) return Code(std::errc::no_such_file_or_directory);
  if (node->held != 0) return Code(std::errc::device_or_resource_busy);
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
  if (auto error = Fault("RenamePath", from)) return error;
  Node* node = Find(from);
  if (node == nullptr) return Code(std::errc::no_such_file_or_directory);
  if (Exists(to)) return Code(std::errc::file_exists);
  if (node->held != 0) return Code(std::errc::device_or_resource_busy);
  Node moved = *node;
  nodes_.erase(Key(from));
  moved.path = Backslashes(to);
  nodes_[Key(to)] = moved;
  return {};
}

std::error_code FakeFiles::MakeDir(const std::string& path) {
  if (auto error = Fault("MakeDir", path)) return error;
  if (Exists(path)) return Code(std::errc::file_exists);
  if (!ParentExists(path)) return Code(std::errc::no_such_file_or_directory);
  AddFolder(path);
  return {};
}

std::error_code FakeFiles::RemoveDir(const std::string& path) {
  if (auto error = Fault("RemoveDir", path)) return error;
  Node* node = Find(path);
  if (node == nullptr || !node->folder) return Code(std::errc::no_such_file_or_directory);
  if (!List(path).empty()) return Code(std::errc::directory_not_empty);
  nodes_.erase(Key(path));
  return {};
}

std::error_code FakeFiles::ChangeDir(const std::string& path) {
  if (auto error = Fault("ChangeDir", path)) return error;
  Node* node = Find(path);
  if (node == nullptr || !node->folder) return Code(std::errc::no_such_file_or_directory);
  current_dir = node->path;
  return {};
}

std::error_code FakeFiles::Copy(const std::string& from, const std::string& to, bool sharing) {
  Node* source = Find(from);
  if (source == nullptr || source->folder) return Code(std::errc::no_such_file_or_directory);
  if (source->held > (sharing ? 1 : 0)) return Code(std::errc::device_or_resource_busy);
  if (Key(from) == Key(to)) return make_error_code(Errc::kSameFile);
  if (source->content.size() > free_bytes) return Code(std::errc::no_space_on_device);
  const Node* target = Find(to);
  if (target != nullptr && (target->folder || target->held != 0)) {
    return Code(std::errc::permission_denied);
  }
  AddFile(to, source->content, source->modified);
  return {};
}

std::error_code FakeFiles::CopyFile(const std::string& from, const std::string& to,
                                    bool overwrite) {
  if (auto error = Fault("CopyFile", from)) return error;
  if (!overwrite && Exists(to)) return Code(std::errc::file_exists);
  return Copy(from, to, false);
}

std::error_code FakeFiles::DeleteFolder(const std::string& path, bool) {
  if (auto error = Fault("DeleteFolder", path)) return error;
  if (!Exists(path)) return Code(std::errc::no_such_file_or_directory);
  const std::string prefix = Key(path) + "\\";
  std::error_code result;
  for (auto it = nodes_.begin(); it != nodes_.end();) {
    const bool inside = it->first.rfind(prefix, 0) == 0;
    if (inside && it->second.held != 0) result = Code(std::errc::device_or_resource_busy);
    it = inside && it->second.held == 0 ? nodes_.erase(it) : std::next(it);
  }
  if (!result) nodes_.erase(Key(path));
  return result;
}

std::error_code FakeFiles::OpenText(const std::string& path, OpenMode mode,
                                    std::unique_ptr<TextFile>* file) {
  if (auto error = Fault("OpenText", path)) return error;
  if (!ParentExists(path)) return Code(std::errc::no_such_file_or_directory);
  if (!Exists(path) || mode == OpenMode::kOutput) AddFile(path);
  *file = std::make_unique<FakeTextFile>(this, path);
  return {};
}

std::error_code FakeFiles::OpenRead(const std::string& path, std::unique_ptr<InputFile>* file) {
  if (auto error = Fault("OpenRead", path)) return error;
  const Node* node = Find(path);
  if (node == nullptr || node->folder) return Code(std::errc::no_such_file_or_directory);
  if (node->held == 2) return Code(std::errc::device_or_resource_busy);
  *file = std::make_unique<FakeInputFile>(node->content);
  return {};
}

std::error_code FakeFiles::Stat(const std::string& path, FileInfo* info) {
  if (auto error = Fault("Stat", path)) return error;
  const Node* node = Find(path);
  if (node == nullptr) return Code(std::errc::no_such_file_or_directory);
  *info = FileInfo{node->content.size(), node->modified, node->folder, FileId{1, node->id}};
  return {};
}

bool FakeEnvironment::GetVariable(const std::string& name, std::string* value) {
  for (const auto& [key, text] : variables) {
    if (!SameNoCase(key, name)) continue;
    *value = text;
    return true;
  }
  return false;
}

Names FakeWindow::With(const std::string& prefix) const {
  Names texts;
  for (const std::string& e : events) {
    if (e.rfind(prefix, 0) == 0) texts.push_back(e.substr(prefix.size()));
  }
  return texts;
}

std::error_code FakeProcesses::Start(const std::string& command_line, bool group,
                                     ChildProcess* child) {
  launches.push_back({command_line, files_->current_dir, group});
  // The first word, or the first quoted words, name the program.
  const bool quoted = !command_line.empty() && command_line[0] == '"';
  std::string program =
      command_line.substr(quoted, command_line.find(quoted ? '"' : ' ', 1) - quoted);
  FileInfo info;
  if (files_->Stat(program, &info) || info.folder)
    return Code(std::errc::no_such_file_or_directory);
  child->id = launches.size();
  ++open;
  codes_[child->id] = on_start ? on_start(command_line) : 0;
  return {};
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

WindowHandle FakeDesktop::FindTopLevel(const std::string& title) {
  Record("Find");
  for (const Window& w : z_order) {
    if (w.title == title) return w.handle;
  }
  return 0;
}

std::error_code FakeDesktop::Picture(const std::string& call, const std::string& path, bool works) {
  Record(call);
  if (!works) return Code(std::errc::io_error);
  if (files != nullptr) files->AddFile(path, "BM " + call);
  return {};
}

FakePlatform::FakePlatform() {
  platform =
      Platform{&files, &processes, &environment, &settings, &window, &clock, &desktop, &lock};
  desktop.files = &files;
  desktop.timeline = &window.events;
  for (const char* folder : {"C:\\Tools", "T:\\Target", "C:\\Pantra"}) files.AddFolder(folder);
  files.AddFile("C:\\MorvaTools\\Quillet\\Zip.exe", "packer");
}

void FakePlatform::PackerMakesArchives() {
  processes.on_start = [this](const std::string& command_line) {
    // "<packer> -j <archive> <folder>\*.*", none of them quoted here.
    const std::size_t archive_at = command_line.find(" -j ") + 4;
    const std::size_t pattern_at = command_line.find(' ', archive_at);
    const std::string folder = ParentOf(command_line.substr(pattern_at + 1));
    std::vector<std::pair<std::string, std::string>> entries;
    for (const std::string& name : files.List(folder)) {
      entries.push_back({name, files.Content(folder + "\\" + name)});
    }
    files.AddFile(command_line.substr(archive_at, pattern_at - archive_at), StoredZip(entries));
    return 0;
  };
}

}  // namespace quillet::testing
