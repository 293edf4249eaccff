// Path helpers shared by the POSIX backends.
#ifndef QUILLET_PLATFORM_POSIX_PATH_H_
#define QUILLET_PLATFORM_POSIX_PATH_H_

#include <string>

namespace quillet {

// The program joins paths with "\"; on POSIX both "\" and "/" separate
// components, so every "\" becomes "/".
inline std::string ToPosixPath(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

}  // namespace quillet

#endif  // QUILLET_PLATFORM_POSIX_PATH_H_
