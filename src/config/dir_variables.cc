#include "config/dir_variables.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <unordered_set>

#include "platform/errors.h"
#include "platform/text.h"

namespace quillet {
namespace {

struct BuiltIn {
  const char* name;
  const char* value;
};

constexpr BuiltIn kBuiltIns[kBuiltInDirVariables] = {
    {"WinDir", "C:\\WinNt"},
    {"MorvaToolsDir", "C:\\MorvaTools"},
    {"MorvaDCSDir", "C:\\MorvaDCS"},
    {"VisuDir", "C:\\Pantra"},
    {"ServicePackDir", "C:\\ServicePacks"},
    {"VisiWinDir", "C:\\VisiWin"},
    {"Computer_Ini", "C:\\Computer.ini"},
    {"Software_Txt", "C:\\Software.txt"},
    {"ServicePack_Log", "C:\\MorvaServicePack.log"},
    {"AllUsersProfile", "C:\\Documents and Settings\\All Users"},
    {"BrandChangeDir", "C:\\Brandchange"},
    {"TempVisu", "C:\\Temp"},
};

// Character positions of a text are 16-bit numbers.
constexpr std::size_t kMaxPosition = 32767;
// Far more replacements than any table of twenty acyclic values needs.
constexpr int kMaxReplacements = 4096;

const DirVariable* FindEntry(const DirVariables& variables, const std::string& name) {
  const std::string wanted = Upper(name);
  for (const DirVariable& entry : variables.entries) {
    if (Upper(entry.name) == wanted) return &entry;
  }
  return nullptr;
}

// Gives back the text unchanged, with the failure.
Error Fail(const std::string& text, std::string* expanded, Errc code, const std::string& what) {
  *expanded = text;
  return Error{make_error_code(code), what};
}

}  // namespace

void FillDirVariables(DirVariables* variables) {
  for (int i = 1; i <= kDirVariableCount; ++i) {
    DirVariable& entry = variables->Entry(i);
    entry = i <= kBuiltInDirVariables ? DirVariable{kBuiltIns[i - 1].name, kBuiltIns[i - 1].value}
                                      : DirVariable{};
  }
}

std::error_code ResolveDirVariable(int i, Environment& environment, DirVariables* variables) {
  if (i < 1 || i > kDirVariableCount) return make_error_code(Errc::kBounds);
  DirVariable& entry = variables->Entry(i);
  std::string value;
  if (environment.GetVariable(entry.name, &value) && !value.empty()) entry.value = value;
  return {};
}

Error ExpandVariables(const DirVariables& variables, const std::string& text,
                      std::string* expanded) {
  std::string s = text;
  // Every text met after a replacement: meeting one again means that the
  // replacements go round in a circle and would never end.
  std::unordered_set<std::size_t> seen;
  // Replacements per entry, to name the one at fault when the text keeps
  // growing: a variable on a cycle is replaced more often than any other.
  std::array<int, kDirVariableCount> replaced{};
  int total = 0;
  // The names in upper case, once, since a long text may hold many pairs.
  std::array<std::string, kDirVariableCount> names;
  for (std::size_t i = 0; i < names.size(); ++i) names[i] = Upper(variables.entries[i].name);
  std::size_t from = 0;
  for (;;) {
    const std::size_t open = s.find('$', from);
    if (open == std::string::npos) break;
    const std::size_t close = s.find('$', open + 1);
    if (close == std::string::npos) break;
    if (close >= kMaxPosition) {
      return Fail(
          text, expanded, Errc::kTextTooLong,
          "A \"$\" lies beyond character 32767 of the text \"" + text.substr(0, 60) + "...\".");
    }
    const std::string name = Upper(s.substr(open + 1, close - open - 1));
    const auto match = std::find(names.begin(), names.end(), name);
    if (match == names.end()) {
      from = open + 1;
      continue;
    }
    const DirVariable* entry = &variables.entries[static_cast<std::size_t>(match - names.begin())];
    s = s.substr(0, open) + entry->value + s.substr(close + 1);
    // The scan starts again from the start of the text. Every "$" before the
    // replaced pair still has the partner it had, which matched no name,
    // except the last one, whose partner is now the first "$" from the
    // inserted value on; so the scan can go on from that last "$".
    const std::size_t previous = open == 0 ? std::string::npos : s.rfind('$', open - 1);
    from = previous == std::string::npos ? 0 : previous;
    ++replaced[static_cast<std::size_t>(entry - variables.entries.data())];
    if (!seen.insert(std::hash<std::string>()(s)).second) {
      return Fail(text, expanded, Errc::kPlaceholderCycle,
                  "The placeholder $" + entry->name +
                      "$ leads back to itself through the values of the directory variables.");
    }
    if (s.size() > kMaxPosition || ++total > kMaxReplacements) {
      const std::size_t worst = static_cast<std::size_t>(
          std::max_element(replaced.begin(), replaced.end()) - replaced.begin());
      return Fail(text, expanded, Errc::kPlaceholderCycle,
                  "The placeholder $" + variables.entries[worst].name +
                      "$ keeps growing when expanded: its value leads back to its own "
                      "placeholder.");
    }
  }
  *expanded = s;
  return {};
}

std::vector<std::string> UnknownPlaceholders(const DirVariables& variables,
                                             const std::string& expanded) {
  std::vector<std::string> unknown;
  for (std::size_t open = expanded.find('$'); open != std::string::npos;) {
    const std::size_t close = expanded.find('$', open + 1);
    if (close == std::string::npos) break;
    const std::string name = expanded.substr(open + 1, close - open - 1);
    const bool looks_like_name = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
      return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
    if (looks_like_name && FindEntry(variables, name) == nullptr) unknown.push_back(name);
    open = looks_like_name ? expanded.find('$', close + 1) : close;
  }
  return unknown;
}

}  // namespace quillet
