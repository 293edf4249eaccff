// Helpers shared by the POSIX backends.
#ifndef QUILLET_PLATFORM_POSIX_PATH_H_
#define QUILLET_PLATFORM_POSIX_PATH_H_

#include <sys/types.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace quillet {

// The program joins paths with "\" where a settings file or a built-in text
// does; on POSIX both "\" and "/" separate components, so every "\" becomes
// "/".
inline std::string ToPosixPath(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

inline std::error_code LastPosixError() { return std::error_code(errno, std::generic_category()); }

// The file-creation mask that programs started by this process get: the one
// the process had before KeepNewFilesPrivate changed its own.
mode_t ChildUmask();

}  // namespace quillet

#endif  // QUILLET_PLATFORM_POSIX_PATH_H_
