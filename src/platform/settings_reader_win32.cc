// Windows backend of the INI reader: the system's own profile function.
#include "platform/platform.h"
#include "platform/settings_reader.h"
#include "platform/win32.h"

namespace quillet {
namespace {

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
};

}  // namespace

std::unique_ptr<SettingsReader> CreateSettingsReader() {
  return std::make_unique<Win32SettingsReader>();
}

}  // namespace quillet
