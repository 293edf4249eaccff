// Windows error codes with the system's messages, mapped to the portable
// conditions that the steps compare with.
#include <string>

#include "platform/win32.h"

namespace quillet {
namespace {

class Win32Category : public std::error_category {
 public:
  const char* name() const noexcept override { return "win32"; }

  std::string message(int code) const override {
    char* text = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string message = n > 0 && text != nullptr ? std::string(text, n) : std::string();
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
      message.pop_back();
    }
    return message.empty() ? "Windows error " + std::to_string(code) : message;
  }

  std::error_condition default_error_condition(int code) const noexcept override {
    switch (static_cast<DWORD>(code)) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_INVALID_DRIVE:
      case ERROR_BAD_NETPATH:
      case ERROR_BAD_NET_NAME:
      case ERROR_NO_MORE_FILES:
      case ERROR_INVALID_NAME:  // Wildcards in a name that must be exact.
        return std::errc::no_such_file_or_directory;
      case ERROR_ACCESS_DENIED:
        return std::errc::permission_denied;
      case ERROR_SHARING_VIOLATION:
      case ERROR_LOCK_VIOLATION:
        return std::errc::device_or_resource_busy;
      case ERROR_DISK_FULL:
      case ERROR_HANDLE_DISK_FULL:
        return std::errc::no_space_on_device;
      case ERROR_FILE_EXISTS:
      case ERROR_ALREADY_EXISTS:
        return std::errc::file_exists;
      case ERROR_DIR_NOT_EMPTY:
        return std::errc::directory_not_empty;
      case ERROR_DIRECTORY:
        return std::errc::not_a_directory;
      case ERROR_NOT_ENOUGH_MEMORY:
      case ERROR_OUTOFMEMORY:
        return std::errc::not_enough_memory;
      default:
        return std::error_condition(code, *this);
    }
  }
};

}  // namespace

std::error_code Win32Error(DWORD code) {
  static const Win32Category category;
  return std::error_code(static_cast<int>(code), category);
}

}  // namespace quillet
