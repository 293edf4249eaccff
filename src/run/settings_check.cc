#include "run/settings_check.h"

#include <algorithm>
#include <set>
#include <vector>

#include "config/settings.h"
#include "core/patterns.h"
#include "platform/text.h"
#include "platform/wildcard.h"

namespace quillet {
namespace {

// How far a misspelt key may be from a known one to be named as meant.
constexpr std::size_t kKeyHintDistance = 3;
// What a start-list entry with a blank in its program's path can do instead.
constexpr char kBlankAdvice[] =
    "start it from a batch file whose own path has no blank, or write each "
    "folder with a blank by its 8.3 short name (\"dir /x\" shows it, such as "
    "C:\\PROGRA~1)";

// The name of `names` nearest to `name` and its distance.
std::string Nearest(const std::string& name, const std::vector<std::string>& names,
                    std::size_t* distance) {
  std::string nearest;
  *distance = std::string::npos;
  for (const std::string& known : names) {
    if (EditDistanceNoCase(name, known) < *distance) {
      *distance = EditDistanceNoCase(name, known);
      nearest = known;
    }
  }
  return nearest;
}

// A path that only Windows reaches: one that starts with a drive letter or
// with the "\\" of a network share.
bool IsWindowsPath(const std::string& path) {
  const bool drive =
      path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0])) != 0;
  return drive || path.rfind("\\\\", 0) == 0;
}

class Checker {
 public:
  Checker(RunContext& context, std::ostream& out)
      : context_(context), files_(*context.platform.files), out_(out) {}

  void Problem(const std::string& text) {
    out_ << "    PROBLEM: " << text << "\n";
    ++problems_;
  }
  int problems() const { return problems_; }

  // Sections that no PC reads, with the nearest known name as a hint, and
  // the keys of [Project] and of the lists that a run never reads.
  void CheckLayout() {
    const std::string& ini = context_.state.ini_path;
    SettingsReader& reader = *context_.platform.settings;
    out_ << "Sections:\n";
    std::set<std::string> seen;
    for (const std::string& section : reader.Sections(ini)) {
      if (!seen.insert(Upper(section)).second) {
        Problem("[" + section + "] appears twice: only the first is read");
        continue;
      }
      std::size_t distance = 0;
      const std::string nearest = Nearest(section, KnownSections(), &distance);
      out_ << "  [" << section << "]\n";
      if (distance != 0) {
        Problem("[" + section + "] is no section Quillet reads (did you mean [" + nearest + "]?)");
      } else if (SameNoCase(section, kProjectSection)) {
        CheckProjectKeys(reader.Keys(section, ini));
      } else {
        CheckListKeys(section, reader.Keys(section, ini));
      }
    }
  }

  // The TargetPath as the run would use it.
  void CheckTarget(const std::string& value) {
    const std::string key = kTargetPathKey.name;
    out_ << key << ": "
         << (value.empty() ? "(MISSING: " + std::string(kTargetPathKey.off) + ")" : value) << "\n";
    if (value.empty()) {
      return Problem(project_ + " has no " + key + ", so a run collects nothing: add a line " +
                     key + "= with the full path of the folder for the archives");
    }
    std::string target;
    if (Error error = ExpandTargetPath(context_, value, &target)) return Problem(error.what);
    if (target != value) out_ << "    expands to " << target << "\n";
    const std::string expanded = Expanded(value);
    if (IsForeign(expanded)) return Problem(ForeignPath(key, expanded));
    if (!IsAbsolute(target)) {
      return Problem(key + " " + target +
                     " is a relative path: the archives would land below whatever folder the "
                     "run is started in (for a scheduled task, often the system folder); write "
                     "the full path" +
                     (files_.Separator() == '\\' ? ", with its drive" : ""));
    }
    if (Error error = CheckTargetFolder(files_, target)) {
      Problem(key + " " + target + " cannot be used: " + error.what);
    }
  }

  // The optional keys of [Project] with the values a run will use.
  void CheckExtensionKeys() {
    SettingsReader& reader = *context_.platform.settings;
    const std::string& ini = context_.state.ini_path;
    out_ << "Extension keys:\n";
    for (const ProjectKey* key : kProjectKeys) {
      const std::string written = ReadIniString(reader, kProjectSection, key->name, ini);
      const std::string named = project_ + " " + key->name + "=" + written;
      if (key->type == KeyType::kCount) {
        std::string warning;
        const long long value = ReadIniCount(reader, kProjectSection, key->name, ini, &warning);
        out_ << "  " << key->name << " = " << value << " ("
             << (value == 0 ? key->off : std::to_string(value) + key->on) << ")\n";
        if (!warning.empty()) {
          Problem(named +
                  " is not a whole number (write digits only), so it counts as off: " + key->off);
        }
      } else if (key->type == KeyType::kFlag) {
        const bool on = SameNoCase(written, "true");
        out_ << "  " << key->name << " = " << (on ? "true (" : "false (")
             << (on ? key->on : key->off) << ")\n";
        if (!written.empty() && !on && !SameNoCase(written, "false")) {
          Problem(named + " is neither true nor false, so it counts as off: " + key->off);
        }
      }
    }
  }

  // The folder of the process-list batch file: a run that cannot write
  // Task.bat there stops at "Taskmanager".
  void CheckBatchFolder() {
    const std::string written = Expanded("$VisuDir$");
    const std::string folder = files_.Native(written);
    out_ << "Batch file: " << files_.Join(folder, "Task.bat") << "\n";
    const std::string fix = "; set the environment variable VisuDir to the HMI's folder on this PC";
    if (IsForeign(written)) return Problem(ForeignPath("$VisuDir$", written) + fix);
    if (std::error_code error = files_.CanCreateIn(folder)) {
      const bool missing = error == std::errc::no_such_file_or_directory;
      Problem("the folder " + folder + " ($VisuDir$) " +
              (missing ? "does not exist" : "takes no new file (" + error.message() + ")") +
              ": every run would stop at \"Taskmanager\", unable to write Task.bat" + fix +
              (missing ? ", or create the folder" : ", or let this user write there"));
    }
    if (folder.find(' ') != std::string::npos) {
      Problem("the folder " + folder +
              " ($VisuDir$) holds a blank: the start list cannot run Task.bat from it, and "
              "the line of Task.bat that writes Task.log would be cut at the blank, so no "
              "process list is made; set the environment variable VisuDir to the folder's "
              "8.3 short name (\"dir /x\" shows it)");
    }
  }

  void CheckTools() {
    for (const std::string& tool :
         {std::string("Zip.exe"), "PStat" + context_.state.os_tag + ".exe"}) {
      const std::string path = Expand("$MorvaToolsDir$\\Quillet\\" + tool);
      FileInfo info;
      if (files_.Stat(path, &info)) Problem("the " + tool + " of the run is missing: " + path);
    }
  }

  // Lists one numbered list of this PC with what each entry names now.
  void List(const std::string& section, ListKind kind) {
    out_ << "[" << section << "]\n";
    const ListSection list{*context_.platform.settings, context_.state.ini_path, section};
    int n = 1;
    for (std::string value = list.Entry(n); !value.empty(); value = list.Entry(++n)) {
      out_ << "  " << n << "=" << value << "\n";
      std::string expanded;
      if (Error error = ExpandVariables(context_.variables, value, &expanded)) {
        Problem(error.what);
        continue;
      }
      const std::string text = files_.Native(expanded);
      out_ << "    expands to " << text << "\n";
      for (const std::string& name : UnknownPlaceholders(context_.variables, text)) {
        Problem("unknown placeholder $" + name + "$");
      }
      if (IsForeign(expanded)) {
        Problem(ForeignPath("the entry", expanded.substr(0, expanded.find(' '))));
      } else if (kind == ListKind::kStartPrograms) {
        CheckProgram(text);
      } else {
        CheckPattern(text, value, kind == ListKind::kDeleteFiles);
      }
    }
    if (n == 1) out_ << "  (empty)\n";
  }

 private:
  // The text expanded but as written, before the system's separators replace
  // the others; the text unchanged when it cannot be expanded.
  std::string Expanded(const std::string& text) {
    std::string expanded;
    ExpandVariables(context_.variables, text, &expanded);
    return expanded;
  }
  std::string Expand(const std::string& text) { return files_.Native(Expanded(text)); }

  // A Windows path where this system is not Windows.
  bool IsForeign(const std::string& written) const {
    return files_.Separator() != '\\' && IsWindowsPath(written);
  }
  std::string ForeignPath(const std::string& what, const std::string& path) const {
    return what + " " + path +
           " is a Windows path (a drive letter or a \\\\server share), which this system "
           "reads as a relative name; write a path of this system";
  }
  bool IsAbsolute(const std::string& path) const {
    if (files_.Separator() != '\\') return !path.empty() && path[0] == '/';
    return path.rfind("\\\\", 0) == 0 ||
           (IsWindowsPath(path) && path.size() > 2 && (path[2] == '\\' || path[2] == '/'));
  }

  bool Exists(const std::string& path) {
    std::vector<std::string> found;
    return !files_.List(path, false, &found) && !found.empty();
  }

  // A file the run writes itself before the lists need it.
  bool WrittenByRun(const std::string& path) {
    return SameNoCase(path, Expand("$VisuDir$\\Task.bat")) ||
           SameNoCase(path, Expand("$VisuDir$\\Task.log"));
  }

  void CheckProjectKeys(const std::vector<std::string>& keys) {
    std::vector<std::string> known;
    for (const ProjectKey* key : kProjectKeys) known.push_back(key->name);
    for (const std::string& key : keys) {
      std::size_t distance = 0;
      const std::string nearest = Nearest(key, known, &distance);
      if (distance == 0) continue;
      Problem(project_ + " " + key + "= is no key Quillet reads" +
              (distance <= kKeyHintDistance ? " (did you mean " + nearest + "=?)" : ""));
    }
  }

  void CheckListKeys(const std::string& section, const std::vector<std::string>& keys) {
    if (!IsListSection(section)) return;
    const ListSection list{*context_.platform.settings, context_.state.ini_path, section};
    int read = 0;
    while (!list.Entry(read + 1).empty()) ++read;
    for (const std::string& key : keys) {
      const bool number =
          !key.empty() && key.size() < 6 && key[0] != '0' &&
          std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; });
      if (number && std::stoi(key) <= read) continue;
      Problem("[" + section + "] " + key + "= is never read: the list ends " +
              (read == 0 ? "before key 1" : "after key " + std::to_string(read)) +
              " (keys are 1, 2, 3, ... without gaps)");
    }
  }

  // A run takes the text up to the first blank as the program's path and
  // knows no quotes, so a path with a blank starts nothing.
  void CheckProgram(const std::string& command) {
    if (command[0] == '"' || command[0] == '\'') {
      const std::string program = command.substr(1, command.find(command[0], 1) - 1);
      return Problem("program path " + command.substr(0, program.size() + 2) +
                     " is quoted, but a run takes everything before the first blank, quotes "
                     "included, as the program (" +
                     command.substr(0, command.find(' ')) + "), so it starts nothing; " +
                     (program.find(' ') != std::string::npos ? kBlankAdvice
                                                             : "write the path without quotes"));
    }
    const std::string program = command.substr(0, command.find(' '));
    if (Exists(program)) {
      out_ << "    program " << program << " found\n";
    } else if (WrittenByRun(program)) {
      out_ << "    program " << program << " is written by each run\n";
    } else {
      // A longer path up to a later blank that names a file shows what was meant.
      for (std::size_t blank = command.find(' '); blank != std::string::npos;
           blank = command.find(' ', blank + 1)) {
        const std::string meant = command.substr(0, command.find(' ', blank + 1));
        if (Exists(meant) || WrittenByRun(meant)) {
          return Problem("program path " + meant +
                         " holds a blank: a run takes only the text before the first blank (" +
                         program +
                         ") as the program, and knows no quotes, so it starts "
                         "nothing; " +
                         kBlankAdvice);
        }
      }
      Problem("program " + program + " NOT FOUND");
    }
  }

  void CheckPattern(const std::string& pattern, const std::string& value, bool deletion) {
    std::string folder, last;
    SplitLastComponent(pattern, &folder, &last);
    FileInfo info;
    const std::string named = last.empty() ? folder : pattern;
    if (!HasWildcards(last) && !named.empty() && !files_.Stat(named, &info) && info.folder) {
      const std::string back = value.back() == '\\' || value.back() == '/' ? "" : "\\";
      return Problem(value + " names a folder, but an entry names files, so it " +
                     (deletion ? "deletes nothing (folders are never deleted); write the "
                                 "folder, \\ and the names, such as " +
                                     value + back + "*.bak"
                               : "collects nothing; write " + value + back +
                                     "*.* to collect every file in it"));
    }
    std::vector<std::string> names, passed_over;
    ListMatches(files_, pattern, &names, &passed_over);
    for (const std::string& path : passed_over) {
      out_ << "    passed over, only its 8.3 short name matches: " << path << "\n";
    }
    if (names.empty() && WrittenByRun(pattern)) {
      out_ << "    is written by each run\n";
      return;
    }
    if (!PatternFolderExists(files_, pattern)) {
      return Problem("folder of " + pattern + " NOT FOUND");
    }
    out_ << "    matches " << names.size() << (names.size() == 1 ? " file\n" : " files\n");
    if (names.empty() && !HasWildcards(last)) {
      out_ << "    note: " << pattern << " does not exist now; it may appear before the run\n";
    }
    for (const std::string& name : names) {
      const std::string path = PathOfMatch(pattern, name, files_.Separator());
      if (files_.Stat(path, &info)) continue;
      if (!deletion) {
        collected_.insert(info.id);
      } else if (collected_.count(info.id) == 0) {
        Problem(path + " would be deleted without being archived: no log entry collects it");
      }
    }
  }

  RunContext& context_;
  Files& files_;
  std::ostream& out_;
  const std::string project_ = std::string("[") + kProjectSection + "]";
  int problems_ = 0;
  std::set<FileId> collected_;  // What the log lists of this PC match now.
};

}  // namespace

int CheckSettings(RunContext& context, std::ostream& out) {
  const RunState& state = context.state;
  Files& files = *context.platform.files;
  FileInfo info;
  const bool have_file = !files.Stat(state.ini_path, &info);
  out << "Settings file: " << state.ini_path << (have_file ? "\n" : " (MISSING)\n");
  Checker checker(context, out);
  const std::string target = ReadTargetPath(context);
  checker.CheckTarget(target);
  checker.CheckExtensionKeys();
  out << "Tags: OsTag=" << state.os_tag << " HmiTag=" << state.hmi_tag << "\n";
  out << "Directory variables:\n";
  for (int i = 1; i <= kBuiltInDirVariables; ++i) {
    const DirVariable& entry = context.variables.Entry(i);
    out << "  $" << entry.name << "$ = " << entry.value << "\n";
  }
  checker.CheckBatchFolder();
  checker.CheckTools();
  checker.CheckLayout();
  for (const ListSchema& list : kListSections) {
    checker.List(ListSectionName(list, state.os_tag, state.hmi_tag), list.kind);
  }
  const int problems = checker.problems();
  out << (problems == 0 ? "No problems found.\n"
                        : std::to_string(problems) + (problems == 1 ? " problem" : " problems") +
                              " found.\n");
  if (target.empty()) return kExitNoTargetPath;
  return problems == 0 ? kExitOk : kExitCheckFailed;
}

}  // namespace quillet
