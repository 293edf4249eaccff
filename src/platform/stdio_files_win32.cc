#include "platform/stdio_files.h"

namespace quillet {

int SeekFile(std::FILE* file, std::uint64_t offset) {
  return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET);
}

bool ToLocalTime(std::time_t seconds, std::tm* local) {
  // The C runtime keeps localtime()'s result per thread.
  const std::tm* result = std::localtime(&seconds);
  if (result != nullptr) *local = *result;
  return result != nullptr;
}

std::string NativePath(const std::string& path) { return path; }

}  // namespace quillet
