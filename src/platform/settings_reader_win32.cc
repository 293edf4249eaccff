// Windows backend of the INI reader: the system's own profile functions.
#include <vector>

#include "platform/platform.h"
#include "platform/settings_reader.h"
#include "platform/win32.h"

namespace quillet {
namespace {

// The names a profile call lists as texts ended by NUL, with one more NUL at
// the end. The buffer grows while the call fills it to the brim.
template <typename Call>
std::vector<std::string> NameList(Call call) {
  std::vector<char> buffer(4096);
  DWORD n = 0;
  for (;;) {
    n = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n + 2 < buffer.size() || buffer.size() >= (1u << 20)) break;
    buffer.resize(buffer.size() * 4);
  }
  std::vector<std::string> names;
  for (DWORD at = 0; at < n && buffer[at] != '\0';) {
    const std::string name(buffer.data() + at);
    names.push_back(name);
    at += static_cast<DWORD>(name.size()) + 1;
  }
  return names;
}

class Win32SettingsReader : public SettingsReader {
 public:
  // A missing key reads as "". The default is given empty rather than as
  // blanks, because not every implementation of the profile functions
  // removes a default's trailing blanks (Wine returns them), and a list read
  // as blanks would never end.
  std::string Read(const std::string& section, const std::string& key,
                   const std::string& file) override {
    char buffer[kMaxIniValue + 1];
    const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer,
                                             sizeof(buffer), file.c_str());
    return std::string(buffer, n > kMaxIniValue ? kMaxIniValue : n);
  }

  std::vector<std::string> Sections(const std::string& file) override {
    return NameList([&](char* buffer, DWORD size) {
      return GetPrivateProfileSectionNamesA(buffer, size, file.c_str());
    });
  }

  std::vector<std::string> Keys(const std::string& section, const std::string& file) override {
    return NameList([&](char* buffer, DWORD size) {
      return GetPrivateProfileStringA(section.c_str(), nullptr, "", buffer, size, file.c_str());
    });
  }
};

}  // namespace

std::unique_ptr<SettingsReader> CreateSettingsReader() {
  return std::make_unique<Win32SettingsReader>();
}

}  // namespace quillet
