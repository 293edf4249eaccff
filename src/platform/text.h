// Small text helpers that follow the system's rules for names: letters
// compare without regard to case, in the ASCII range.
#ifndef QUILLET_PLATFORM_TEXT_H_
#define QUILLET_PLATFORM_TEXT_H_

#include <algorithm>
#include <cctype>
#include <string>

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
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return UpperChar(x) == UpperChar(y); });
}

// Orders texts as a case-insensitive file system lists names.
inline bool LessNoCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(UpperChar(x)) < static_cast<unsigned char>(UpperChar(y));
      });
}

}  // namespace quillet

#endif  // QUILLET_PLATFORM_TEXT_H_
