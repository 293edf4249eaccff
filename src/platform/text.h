// Small text helpers that follow the system's rules for names: letters
// compare without regard to case, in the ASCII range.
#ifndef QUILLET_PLATFORM_TEXT_H_
#define QUILLET_PLATFORM_TEXT_H_

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace quillet {

inline char UpperChar(char c) {
  return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

inline std::string Upper(std::string text) {
  for (char& c : text) c = UpperChar(c);
  return text;
}

// True when `a` and `b` are the same text apart from the case of letters.
inline bool SameNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return UpperChar(x) == UpperChar(y);
         });
}

// Orders texts as a case-insensitive file system lists names. Texts that
// differ only in case, which a case-sensitive file system can hold side by
// side, come in byte order, so that every listing has one order.
inline bool LessNoCase(const std::string& a, const std::string& b) {
  const auto upper_less = [](char x, char y) {
    return static_cast<unsigned char>(UpperChar(x)) < static_cast<unsigned char>(UpperChar(y));
  };
  if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), upper_less)) return true;
  return !std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), upper_less) && a < b;
}

// The number of single-letter insertions, deletions and replacements that
// turn `a` into `b`, ignoring case: how far a misspelt name is from the one
// meant.
inline std::size_t EditDistanceNoCase(const std::string& a, const std::string& b) {
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

// The last component of `path` without its extension: D:\Tools\X.exe gives X.
inline std::string BaseName(const std::string& path) {
  std::string name = path.substr(path.find_last_of("\\/") + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

}  // namespace quillet

#endif  // QUILLET_PLATFORM_TEXT_H_
