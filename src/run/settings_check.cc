#include "run/settings_check.h"

#include "config/settings.h"
#include "platform/wildcard.h"

namespace quillet {
namespace {

// Counts the files `pattern` matches; false when its folder does not exist.
bool CountMatches(Files& files, const std::string& pattern, int* count) {
  std::string folder, last;
  SplitLastComponent(pattern, &folder, &last);
  std::string name;
  // A pattern without folder looks in the working directory, and a drive
  // root cannot be searched for by name; both exist.
  const bool is_root = folder.empty() || (folder.size() == 2 && folder[1] == ':');
  if (!is_root && (files.DirFirst(folder, true, &name) || name.empty())) return false;
  *count = 0;
  for (files.DirFirst(pattern, false, &name); !name.empty(); files.DirNext(&name)) ++*count;
  return true;
}

class Checker {
 public:
  Checker(RunContext& context, std::ostream& out) : context_(context), out_(out) {}

  void List(const std::string& section, bool programs) {
    out_ << "[" << section << "]\n";
    int n = 1;
    for (;; ++n) {
      const std::string value =
          ReadListEntry(*context_.platform.settings, section, n, context_.state.ini_path);
      if (value.empty()) break;
      out_ << "  " << n << "=" << value << "\n";
      const ExpandResult expanded = ExpandVariables(context_.variables, value);
      if (expanded.error) {
        Problem(expanded.what);
        continue;
      }
      out_ << "    expands to " << expanded.text << "\n";
      for (const std::string& name : UnknownPlaceholders(context_.variables, expanded.text)) {
        Problem("unknown placeholder $" + name + "$");
      }
      if (programs) {
        const std::string program = expanded.text.substr(0, expanded.text.find(' '));
        std::string found;
        if (context_.platform.files->DirFirst(program, false, &found) || found.empty()) {
          Problem("program " + program + " NOT FOUND");
        } else {
          out_ << "    program " << program << " found\n";
        }
      } else {
        int count = 0;
        if (!CountMatches(*context_.platform.files, expanded.text, &count)) {
          Problem("folder of " + expanded.text + " NOT FOUND");
        } else {
          out_ << "    matches " << count << (count == 1 ? " file\n" : " files\n");
        }
      }
    }
    if (n == 1) out_ << "  (empty)\n";
  }

  void Problem(const std::string& text) {
    out_ << "    PROBLEM: " << text << "\n";
    ++problems_;
  }

  int problems() const { return problems_; }

 private:
  RunContext& context_;
  std::ostream& out_;
  int problems_ = 0;
};

}  // namespace

int CheckSettings(RunContext& context, std::ostream& out) {
  const RunState& state = context.state;
  std::uint64_t size = 0;
  const bool have_file = !context.platform.files->FileSize(state.ini_path, &size);
  out << "Settings file: " << state.ini_path << (have_file ? "\n" : " (MISSING)\n");
  const std::string target =
      ReadIniString(*context.platform.settings, "Project", "TargetPath", state.ini_path);
  out << "TargetPath: " << (target.empty() ? "(MISSING: nothing would be collected)" : target)
      << "\n";
  out << "Tags: OsTag=" << state.os_tag << " HmiTag=" << state.hmi_tag << "\n";
  out << "Directory variables:\n";
  for (int i = 1; i <= kBuiltInDirVariables; ++i) {
    const DirVariable& entry = context.variables.Entry(i);
    out << "  $" << entry.name << "$ = " << entry.value << "\n";
  }
  Checker checker(context, out);
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
