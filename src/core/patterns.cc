#include "core/patterns.h"

#include "platform/wildcard.h"

namespace quillet {

bool PatternFolderExists(Files& files, const std::string& pattern) {
  std::string folder, last, name;
  SplitLastComponent(pattern, &folder, &last);
  const bool is_root = folder.empty() || (folder.size() == 2 && folder[1] == ':');
  return is_root || (!files.DirFirst(folder, true, &name) && !name.empty());
}

std::error_code ListMatches(Files& files, const std::string& pattern,
                            std::vector<std::string>* names,
                            std::vector<std::string>* passed_over) {
  names->clear();
  passed_over->clear();
  std::string folder, last, name;
  SplitLastComponent(pattern, &folder, &last);
  const bool wildcards = HasWildcards(last);
  std::error_code error = files.DirFirst(pattern, false, &name);
  while (!error && !name.empty()) {
    if (!wildcards || MatchesWildcard(last, name)) {
      names->push_back(name);
    } else {
      passed_over->push_back(PathOfMatch(pattern, name, files.Separator()));
    }
    error = files.DirNext(&name);
  }
  return error;
}

std::string PassedOverLine(const std::string& path) {
  return "Passed over:" + path + " (only its 8.3 short name matches the pattern)";
}

}  // namespace quillet
