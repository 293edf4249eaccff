// Reading the values of INI files.
#ifndef QUILLET_PLATFORM_SETTINGS_READER_H_
#define QUILLET_PLATFORM_SETTINGS_READER_H_

#include <string>
#include <vector>

#include "platform/ini_text.h"

namespace quillet {

// Reads INI files by the rules of the Windows profile functions (see
// IniText): a missing file, section or key gives "", and at most
// kMaxIniValue characters of a value are returned. Every call reads the file
// as it stands at that moment.
class SettingsReader {
 public:
  virtual ~SettingsReader() = default;
  virtual std::string Read(const std::string& section, const std::string& key,
                           const std::string& file) = 0;
  // The names of the file's section headers in their order, repeats included.
  virtual std::vector<std::string> Sections(const std::string& file) = 0;
  // The keys with a value of the first section of that name, repeats included.
  virtual std::vector<std::string> Keys(const std::string& section, const std::string& file) = 0;
};

}  // namespace quillet

#endif  // QUILLET_PLATFORM_SETTINGS_READER_H_
