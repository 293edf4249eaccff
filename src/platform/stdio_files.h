// The C library's file and time calls where Windows and POSIX spell them
// differently, for the zip writer, which works through the C library's
// buffered files rather than through the Files interface.
#ifndef QUILLET_PLATFORM_STDIO_FILES_H_
#define QUILLET_PLATFORM_STDIO_FILES_H_

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

namespace quillet {

// Moves the position of `file` to `offset` bytes from its start, also beyond
// 2 GiB and 4 GiB. Returns 0 on success and sets errno otherwise, as fseek.
int SeekFile(std::FILE* file, std::uint64_t offset);

// Stores `seconds` since 1970 (UTC) as local time in `*local`. Returns false
// when the system cannot convert it. Safe to call from any thread.
bool ToLocalTime(std::time_t seconds, std::tm* local);

// `path`, which may separate its folders with "\" as the settings write
// them, in the form the C library of this system opens.
std::string NativePath(const std::string& path);

}  // namespace quillet

#endif  // QUILLET_PLATFORM_STDIO_FILES_H_
