// File patterns of the log and deletion lists.
#ifndef QUILLET_CORE_PATTERNS_H_
#define QUILLET_CORE_PATTERNS_H_

#include <string>

#include "platform/files.h"

namespace quillet {

// False when the folder part of `pattern` does not exist, so that the
// pattern can match nothing: a misspelt folder rather than an empty one. A
// pattern without a folder part looks in the working directory, and a drive
// root cannot be searched for by name; both count as existing.
bool PatternFolderExists(Files& files, const std::string& pattern);

}  // namespace quillet

#endif  // QUILLET_CORE_PATTERNS_H_
