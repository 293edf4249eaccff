// Name matching with the wildcard rules of the Windows file search.
#ifndef QUILLET_PLATFORM_WILDCARD_H_
#define QUILLET_PLATFORM_WILDCARD_H_

#include <string>

namespace quillet {

// True when `name` matches `pattern` as the Windows file search matches a
// last path component: "*" stands for any run of characters, "?" for exactly
// one, letters compare without regard to case, and a pattern that ends in
// ".*" also matches names without a dot ("*.*" matches every name).
bool MatchesWildcard(const std::string& pattern, const std::string& name);

// True when `text` holds "*" or "?".
bool HasWildcards(const std::string& text);

// Splits `path` at its last "\" or "/": the folder part (without the
// separator, "" when there is none) and the last component.
void SplitLastComponent(const std::string& path, std::string* folder, std::string* last);

// The path of an entry `name` that a search for `pattern` returned: the
// pattern's folder part, `separator`, and the name. A pattern without a
// folder part was searched in the working directory, so the bare name is
// that path.
std::string PathOfMatch(const std::string& pattern, const std::string& name, char separator);

}  // namespace quillet

#endif  // QUILLET_PLATFORM_WILDCARD_H_
