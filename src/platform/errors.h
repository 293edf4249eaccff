// Errors of the program's own, and the portable conditions that the steps
// compare errors with.
//
// Every backend reports failures so that they compare equal to the portable
// conditions of std::errc, whatever the system's own code: a missing file or
// folder is std::errc::no_such_file_or_directory, a file that another
// program holds open is std::errc::device_or_resource_busy, a refused access
// std::errc::permission_denied, a full disk std::errc::no_space_on_device,
// an existing name std::errc::file_exists. Messages stay the system's own.
#ifndef QUILLET_PLATFORM_ERRORS_H_
#define QUILLET_PLATFORM_ERRORS_H_

#include <string>
#include <system_error>

namespace quillet {

enum class Errc {
  kBounds = 1,        // An index outside its table.
  kPlaceholderCycle,  // A placeholder's value leads back to itself.
  kTextTooLong,       // A text grew beyond 32767 characters.
  kSameFile,          // A copy whose source and destination are one file.
  kChanged,           // A file's content is not what it was expected to be.
};

const std::error_category& QuilletCategory();

inline std::error_code make_error_code(Errc e) {
  return std::error_code(static_cast<int>(e), QuilletCategory());
}

// True when `error` means that another program holds the file open.
inline bool IsInUse(const std::error_code& error) {
  return error == std::errc::device_or_resource_busy || error == std::errc::text_file_busy;
}

}  // namespace quillet

namespace std {
template <>
struct is_error_code_enum<quillet::Errc> : true_type {};
}  // namespace std

#endif  // QUILLET_PLATFORM_ERRORS_H_
