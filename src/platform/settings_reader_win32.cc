// Windows backend of the INI reader: the system's own profile function.
#include "platform/win32.h"

#include "platform/platform.h"
#include "platform/settings_reader.h"

namespace quillet {
namespace {

class Win32SettingsReader : public SettingsReader {
 public:
  // The default of blanks comes back empty, since the system removes
  // trailing blanks from a default, so a missing key reads as "".
  std::string Read(const std::string& section, const std::string& key,
                   const std::string& file) override {
    char buffer[kMaxIniValue + 1];
    const std::string blanks(kMaxIniValue + 1, ' ');
    const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), blanks.c_str(), buffer,
                                             sizeof(buffer), file.c_str());
    return std::string(buffer, n > kMaxIniValue ? kMaxIniValue : n);
  }
};

}  // namespace

std::unique_ptr<SettingsReader> CreateSettingsReader() {
  return std::make_unique<Win32SettingsReader>();
}

}  // namespace quillet
