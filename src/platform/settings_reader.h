// Reading one value of an INI file.
#ifndef QUILLET_PLATFORM_SETTINGS_READER_H_
#define QUILLET_PLATFORM_SETTINGS_READER_H_

#include <string>

namespace quillet {

// The longest value that a read returns; longer values are cut.
inline constexpr int kMaxIniValue = 254;

// Reads INI files by the rules of the Windows profile functions: section and
// key names match without regard to case, blanks around keys and values are
// dropped, one matching pair of double or single quotes around a value is
// removed, and a missing file, section or key gives "". At most kMaxIniValue
// characters of a value are returned.
class SettingsReader {
 public:
  virtual ~SettingsReader() = default;
  virtual std::string Read(const std::string& section, const std::string& key,
                           const std::string& file) = 0;
};

}  // namespace quillet

#endif  // QUILLET_PLATFORM_SETTINGS_READER_H_
