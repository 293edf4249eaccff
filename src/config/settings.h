// Reading the settings file and the HMI project file.
#ifndef QUILLET_CONFIG_SETTINGS_H_
#define QUILLET_CONFIG_SETTINGS_H_

#include <string>

#include "platform/settings_reader.h"

namespace quillet {

// Numbered lists count their entries in 16 bits: key 32767 is the last read.
inline constexpr int kMaxListEntries = 32767;

// The value of `key` in `section` of `file`, at most 254 characters, "" when
// the file, the section or the key is missing or the value is empty.
std::string ReadIniString(SettingsReader& reader, const std::string& section,
                          const std::string& key, const std::string& file);

// True exactly when the value, upper-cased, is "TRUE".
bool ReadIniFlag(SettingsReader& reader, const std::string& section, const std::string& key,
                 const std::string& file);

// One numbered list section of the settings file: its entries are the values
// of the keys "1", "2", "3", ... A list ends at its first empty value; keys
// after a gap are never read, and nothing beyond kMaxListEntries.
struct ListSection {
  SettingsReader& reader;
  std::string file;
  std::string section;
  // Entry `n`, counted from 1; "" past the end of the list.
  std::string Entry(int n) const;
};

// A whole number of at least 0 from `key`, for the optional keys that
// extend the settings file: 0 when the key is absent or empty. A value that
// is no such number (text, a sign, too many digits) also gives 0, and
// `*warning` then says that the key is ignored.
long long ReadIniCount(SettingsReader& reader, const std::string& section, const std::string& key,
                       const std::string& file, std::string* warning);

}  // namespace quillet

#endif  // QUILLET_CONFIG_SETTINGS_H_
