// File patterns of the log and deletion lists.
#ifndef QUILLET_CORE_PATTERNS_H_
#define QUILLET_CORE_PATTERNS_H_

#include <string>
#include <system_error>
#include <vector>

#include "platform/files.h"

namespace quillet {

// False when the folder part of `pattern` does not exist, so that the
// pattern can match nothing: a misspelt folder rather than an empty one. A
// pattern without a folder part looks in the working directory, and a drive
// root cannot be searched for by name; both count as existing.
bool PatternFolderExists(Files& files, const std::string& pattern);

// The files that `pattern` matches, as bare names in the order of
// Files::List. The Windows search also matches a file by its 8.3 short name,
// so "old*.log" can find "old_alarm.logx" (short name OLD_AL~1.LOG): a match
// whose own name does not fit the pattern's wildcards is left out and its
// path put into `*passed_over`, so that a list never collects or deletes a
// file it does not name. A last component without wildcards names one file
// by either of its names and keeps it. Returns the search's error.
std::error_code ListMatches(Files& files, const std::string& pattern,
                            std::vector<std::string>* names, std::vector<std::string>* passed_over);

// The journal line for a file that ListMatches passed over.
std::string PassedOverLine(const std::string& path);

}  // namespace quillet

#endif  // QUILLET_CORE_PATTERNS_H_
