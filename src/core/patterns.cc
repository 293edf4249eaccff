#include "core/patterns.h"

#include "platform/wildcard.h"

namespace quillet {

bool PatternFolderExists(Files& files, const std::string& pattern) {
  std::string folder, last;
  SplitLastComponent(pattern, &folder, &last);
  const bool is_root = folder.empty() || (folder.size() == 2 && folder[1] == ':');
  std::vector<std::string> found;
  return is_root || (!files.List(folder, true, &found) && !found.empty());
}

std::error_code ListMatches(Files& files, const std::string& pattern,
                            std::vector<std::string>* names,
                            std::vector<std::string>* passed_over) {
  names->clear();
  passed_over->clear();
  std::string folder, last;
  SplitLastComponent(pattern, &folder, &last);
  std::vector<std::string> found;
  const std::error_code error = files.List(pattern, false, &found);
  for (const std::string& name : found) {
    if (!HasWildcards(last) || MatchesWildcard(last, name)) {
      names->push_back(name);
    } else {
      passed_over->push_back(PathOfMatch(pattern, name, files.Separator()));
    }
  }
  return error;
}

std::string PassedOverLine(const std::string& path) {
  return "Passed over:" + path + " (only its 8.3 short name matches the pattern)";
}

}  // namespace quillet
