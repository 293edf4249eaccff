#include "core/patterns.h"

#include "platform/wildcard.h"

namespace quillet {

bool PatternFolderExists(Files& files, const std::string& pattern) {
  std::string folder, last, name;
  SplitLastComponent(pattern, &folder, &last);
  const bool is_root = folder.empty() || (folder.size() == 2 && folder[1] == ':');
  return is_root || (!files.DirFirst(folder, true, &name) && !name.empty());
}

}  // namespace quillet
