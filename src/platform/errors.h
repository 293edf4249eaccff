// How calls report failure, the program's own errors, and the portable
// conditions that the steps compare errors with.
//
// A call that can fail returns its failure, and an empty failure means
// success, so every call site reads
//
//   if (auto error = Call(...)) { ...what this failure means here... }
//
// and says right there whether the failure skips an item, is counted or ends
// the run. The platform's primitives return a std::error_code, whose message
// is the system's own. Where a person must read why, a call returns an Error:
// that code plus a sentence. A call that also gives a value hands it back
// through an out parameter. Queries that answer yes or no (is a variable
// set, is an exit code known) return bool; a "no" is not a failure.
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
  kDamagedArchive,    // A file that is no readable zip archive, or one with damaged entries.
  kNotArchived,       // An archive that lacks a file it should hold.
  kNotStarted,        // A program that could not be started.
  kFailedProgram,     // A program that ended with an exit code other than 0.
};

// A failure that a person reads: the code says what kind of failure it is,
// and `what` says why in words, a sentence or a part that the caller puts
// into its own sentence. An Error with an empty code means success.
struct Error {
  std::error_code code;
  std::string what;
  explicit operator bool() const { return static_cast<bool>(code); }
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
