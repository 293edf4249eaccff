#include "config/settings.h"

#include <cctype>

namespace quillet {

std::string ReadIniString(SettingsReader& reader, const std::string& section,
                          const std::string& key, const std::string& file) {
  return reader.Read(section, key, file).substr(0, kMaxIniValue);
}

bool ReadIniFlag(SettingsReader& reader, const std::string& section, const std::string& key,
                 const std::string& file) {
  std::string value = ReadIniString(reader, section, key, file);
  for (char& c : value) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return value == "TRUE";
}

std::string ReadListEntry(SettingsReader& reader, const std::string& section, int n,
                          const std::string& file) {
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
