#include "platform/wildcard.h"

#include <cstddef>

#include "platform/text.h"

namespace quillet {
namespace {

bool SameLetter(char a, char b) { return UpperChar(a) == UpperChar(b); }

// Iterative glob match with backtracking to the most recent "*", so that the
// cost stays linear in practice even for patterns with many stars.
bool Glob(const std::string& pattern, const std::string& name) {
  std::size_t p = 0, n = 0;
  std::size_t star = std::string::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_n = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || SameLetter(pattern[p], name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool MatchesWildcard(const std::string& pattern, const std::string& name) {
  if (Glob(pattern, name)) return true;
  // The Windows search lets "x.*" match a name without any dot as well.
  const std::size_t n = pattern.size();
  if (n >= 2 && pattern[n - 2] == '.' && pattern[n - 1] == '*' &&
      name.find('.') == std::string::npos) {
    return Glob(pattern.substr(0, n - 2), name);
  }
  return false;
}

bool HasWildcards(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

void SplitLastComponent(const std::string& path, std::string* folder, std::string* last) {
  const std::size_t cut = path.find_last_of("\\/");
  if (cut == std::string::npos) {
    folder->clear();
    *last = path;
  } else {
    *folder = path.substr(0, cut);
    *last = path.substr(cut + 1);
  }
}

std::string PathOfMatch(const std::string& pattern, const std::string& name, char separator) {
  const std::size_t cut = pattern.find_last_of("\\/");
  return cut == std::string::npos ? name : pattern.substr(0, cut) + separator + name;
}

}  // namespace quillet
