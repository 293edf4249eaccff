// The directory variables and the expansion of $Name$ placeholders.
#ifndef QUILLET_CONFIG_DIR_VARIABLES_H_
#define QUILLET_CONFIG_DIR_VARIABLES_H_

#include <array>
#include <string>
#include <system_error>
#include <vector>

#include "platform/environment.h"
#include "platform/errors.h"

namespace quillet {

inline constexpr int kDirVariableCount = 20;
inline constexpr int kBuiltInDirVariables = 12;

struct DirVariable {
  std::string name;
  std::string value;
};

// Twenty entries numbered 1 to 20. Entries 1 to 12 carry the built-in names
// and defaults; 13 to 20 keep an empty name and value, so that "$$" matches
// entry 13 and expands to nothing.
struct DirVariables {
  std::array<DirVariable, kDirVariableCount> entries;
  const DirVariable& Entry(int i) const { return entries[static_cast<std::size_t>(i - 1)]; }
  DirVariable& Entry(int i) { return entries[static_cast<std::size_t>(i - 1)]; }
};

// Sets entries 1 to 12 to their built-in names and defaults and empties the rest.
void FillDirVariables(DirVariables* variables);

// Replaces the value of entry `i` by the environment variable of the same
// name (matched without regard to case) when that exists and is not empty.
// The value is taken whole and unchanged. Fails with Errc::kBounds when `i`
// is outside 1 to 20.
std::error_code ResolveDirVariable(int i, Environment& environment, DirVariables* variables);

// Gives in `*expanded` the text with each $Name$ whose name matches an
// entry (without regard to case) replaced by that entry's value, scanning
// again from the start, so placeholders in inserted values are expanded in
// turn. A "$" pair whose name matches no entry stays as plain text and the
// scan goes on after its opening "$". A value that leads back to its own
// placeholder fails with Errc::kPlaceholderCycle, and a text that grows
// beyond 32767 characters, or a "$" found beyond that position, with
// Errc::kTextTooLong; the failure's sentence names the variable at fault,
// and `*expanded` is then the text unchanged.
Error ExpandVariables(const DirVariables& variables, const std::string& text,
                      std::string* expanded);

// The $Name$ pairs left in an expanded text whose names look like variable
// names (letters, digits, "_") but match no entry: most likely misspelt.
std::vector<std::string> UnknownPlaceholders(const DirVariables& variables,
                                             const std::string& expanded);

}  // namespace quillet

#endif  // QUILLET_CONFIG_DIR_VARIABLES_H_
