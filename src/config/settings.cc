#include "config/settings.h"

#include "platform/text.h"

namespace quillet {

std::string ReadIniString(SettingsReader& reader, const std::string& section,
                          const std::string& key, const std::string& file) {
  return reader.Read(section, key, file).substr(0, kMaxIniValue);
}

bool ReadIniFlag(SettingsReader& reader, const std::string& section, const std::string& key,
                 const std::string& file) {
  return Upper(ReadIniString(reader, section, key, file)) == "TRUE";
}

std::string ListSection::Entry(int n) const {
  if (n < 1 || n > kMaxListEntries) return "";
  return ReadIniString(reader, section, std::to_string(n), file);
}

long long ReadIniCount(SettingsReader& reader, const std::string& section, const std::string& key,
                       const std::string& file, std::string* warning) {
  const std::string value = ReadIniString(reader, section, key, file);
  // Twelve digits hold any sensible number of seconds or MiB and cannot
  // overflow.
  bool valid = value.size() <= 12;
  for (char c : value) valid = valid && c >= '0' && c <= '9';
  if (!valid) {
    *warning = "Ignored " + key + "=" + value + " (not a whole number)";
    return 0;
  }
  return value.empty() ? 0 : std::stoll(value);
}

}  // namespace quillet
