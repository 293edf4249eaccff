#include <sys/types.h>

#include <algorithm>

#include "platform/stdio_files.h"

namespace quillet {

int SeekFile(std::FILE* file, std::uint64_t offset) {
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET);
}

bool ToLocalTime(std::time_t seconds, std::tm* local) {
  // The reentrant form, which unlike localtime() does not look at the time
  // zone file again for every one of thousands of files.
  return localtime_r(&seconds, local) != nullptr;
}

std::string NativePath(const std::string& path) {
  std::string native = path;
  std::replace(native.begin(), native.end(), '\\', '/');
  return native;
}

}  // namespace quillet
