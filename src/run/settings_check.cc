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

constexpr const char* kProjectKeys[] = {"TargetPath", "ProgramTimeout", "MinFreeMB", "Report"};
constexpr const char* kListWords[] = {"StartExeFiles", "LogFiles", "DeleteFiles"};

// The section names Quillet reads on some PC: Project, and each list word
// with the tags it is read with.
std::vector<std::string> KnownSections() {
  return {"Project",    "StartExeFilesXP", "StartExeFilesNT", "LogFilesXP",   "LogFilesNT",
          "LogFilesVW", "LogFilesVWS",     "DeleteFilesXP",   "DeleteFilesNT"};
}

// The number of single-letter edits that turn `a` into `b`, ignoring case.
std::size_t Distance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1,
                         diagonal + (UpperChar(a[i - 1]) == UpperChar(b[j - 1]) ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

bool IsListSection(const std::string& section) {
  for (const char* word : kListWords) {
    if (Upper(section).rfind(Upper(word), 0) == 0) return true;
  }
  return false;
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
      std::string nearest;
      std::size_t best = std::string::npos;
      for (const std::string& known : KnownSections()) {
        if (Distance(section, known) < best) {
          best = Distance(section, known);
          nearest = known;
        }
      }
      out_ << "  [" << section << "]\n";
      if (best != 0) {
        Problem("[" + section + "] is no section Quillet reads (did you mean [" + nearest + "]?)");
      } else if (SameNoCase(section, "Project")) {
        CheckProjectKeys(reader.Keys(section, ini));
      } else {
        CheckListKeys(section, reader.Keys(section, ini));
      }
    }
  }

  // The TargetPath as the run would use it.
  void CheckTarget(const std::string& value) {
    out_ << "TargetPath: " << (value.empty() ? "(MISSING: nothing would be collected)" : value)
         << "\n";
    if (value.empty()) return;
    std::string error;
    const std::string target = ExpandTargetPath(context_, value, &error);
    if (!error.empty()) return Problem(error);
    if (target != value) out_ << "    expands to " << target << "\n";
    const std::string problem = TargetProblem(files_, target);
    if (!problem.empty()) Problem("TargetPath " + target + " cannot be used: " + problem);
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
  void List(const std::string& section, bool programs) {
    out_ << "[" << section << "]\n";
    const ListSection list{*context_.platform.settings, context_.state.ini_path, section};
    int n = 1;
    for (std::string value = list.Entry(n); !value.empty(); value = list.Entry(++n)) {
      out_ << "  " << n << "=" << value << "\n";
      const ExpandResult expanded = ExpandVariables(context_.variables, value);
      if (expanded.error) {
        Problem(expanded.what);
        continue;
      }
      const std::string text = files_.Native(expanded.text);
      out_ << "    expands to " << text << "\n";
      for (const std::string& name : UnknownPlaceholders(context_.variables, text)) {
        Problem("unknown placeholder $" + name + "$");
      }
      if (programs) {
        CheckProgram(text.substr(0, text.find(' ')));
      } else {
        CheckPattern(text, section);
      }
    }
    if (n == 1) out_ << "  (empty)\n";
  }

 private:
  std::string Expand(const std::string& text) {
    return files_.Native(ExpandVariables(context_.variables, text).text);
  }

  // A file the run writes itself before the lists need it.
  bool WrittenByRun(const std::string& path) {
    return SameNoCase(path, Expand("$VisuDir$\\Task.bat")) ||
           SameNoCase(path, Expand("$VisuDir$\\Task.log"));
  }

  void CheckProjectKeys(const std::vector<std::string>& keys) {
    SettingsReader& reader = *context_.platform.settings;
    const std::string& ini = context_.state.ini_path;
    for (const std::string& key : keys) {
      bool known = false;
      for (const char* name : kProjectKeys) known = known || SameNoCase(key, name);
      if (!known) Problem("[Project] " + key + "= is no key Quillet reads");
    }
    std::string warning;
    for (const char* key : {"ProgramTimeout", "MinFreeMB"}) {
      warning.clear();
      ReadIniCount(reader, "Project", key, ini, &warning);
      if (!warning.empty()) Problem("[Project] " + warning.substr(8));
    }
    const std::string report = Upper(ReadIniString(reader, "Project", "Report", ini));
    if (!report.empty() && report != "TRUE" && report != "FALSE") {
      Problem("[Project] Report=" + ReadIniString(reader, "Project", "Report", ini) +
              " is neither true nor false (it counts as false)");
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

  void CheckProgram(const std::string& program) {
    std::string found;
    if (!files_.DirFirst(program, false, &found) && !found.empty()) {
      out_ << "    program " << program << " found\n";
    } else if (WrittenByRun(program)) {
      out_ << "    program " << program << " is written by each run\n";
    } else {
      Problem("program " + program + " NOT FOUND");
    }
  }

  void CheckPattern(const std::string& pattern, const std::string& section) {
    std::vector<std::string> names;
    std::string name;
    files_.DirFirst(pattern, false, &name);
    while (!name.empty()) {
      names.push_back(PathOfMatch(pattern, name, files_.Separator()));
      if (files_.DirNext(&name)) break;
    }
    if (names.empty() && WrittenByRun(pattern)) {
      out_ << "    is written by each run\n";
      return;
    }
    if (!PatternFolderExists(files_, pattern))
      return Problem("folder of " + pattern + " NOT FOUND");
    out_ << "    matches " << names.size() << (names.size() == 1 ? " file\n" : " files\n");
    const bool deletion = Upper(section).rfind("DELETEFILES", 0) == 0;
    for (const std::string& path : names) {
      FileInfo info;
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
  const std::string target =
      ReadIniString(*context.platform.settings, "Project", "TargetPath", state.ini_path);
  checker.CheckTarget(target);
  out << "Tags: OsTag=" << state.os_tag << " HmiTag=" << state.hmi_tag << "\n";
  out << "Directory variables:\n";
  for (int i = 1; i <= kBuiltInDirVariables; ++i) {
    const DirVariable& entry = context.variables.Entry(i);
    out << "  $" << entry.name << "$ = " << entry.value << "\n";
  }
  checker.CheckTools();
  checker.CheckLayout();
  checker.List("StartExeFiles" + state.os_tag, true);
  checker.List("LogFiles" + state.os_tag, false);
  checker.List("LogFiles" + state.hmi_tag, false);
  checker.List("DeleteFiles" + state.os_tag, false);
  const int problems = checker.problems() + (target.empty() ? 1 : 0);
  out << (problems == 0 ? "No problems found.\n"
                        : std::to_string(problems) + (problems == 1 ? " problem" : " problems") +
                              " found.\n");
  if (target.empty()) return kExitNoTargetPath;
  return problems == 0 ? kExitOk : kExitCheckFailed;
}

}  // namespace quillet
