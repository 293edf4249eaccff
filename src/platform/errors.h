// Error codes of the program's own, beside the system's.
#ifndef QUILLET_PLATFORM_ERRORS_H_
#define QUILLET_PLATFORM_ERRORS_H_

#include <string>
#include <system_error>

namespace quillet {

enum class Errc {
  kBounds = 1,        // An index outside its table.
  kPlaceholderCycle,  // A placeholder's value leads back to itself.
  kTextTooLong,       // A text grew beyond 32767 characters.
};

const std::error_category& QuilletCategory();

inline std::error_code make_error_code(Errc e) {
  return std::error_code(static_cast<int>(e), QuilletCategory());
}

}  // namespace quillet

namespace std {
template <>
struct is_error_code_enum<quillet::Errc> : true_type {};
}  // namespace std

#endif  // QUILLET_PLATFORM_ERRORS_H_
