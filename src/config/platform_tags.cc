#include "config/platform_tags.h"

#include "config/settings.h"
#include "config/settings_schema.h"
#include "platform/rounding.h"

namespace quillet {

std::string OsTagFromVersion(std::uint32_t version) {
  const std::int32_t v = static_cast<std::int32_t>(version);
  // The remainders keep the sign of the value, so on the non-NT family (top
  // bit set, a negative value) the major version can never be 4.
  const std::int32_t w = v % 65536;
  const long long minor = RoundHalfEven(w / 256.0);
  const std::int32_t major = w % 256;
  return major == 4 && minor == 0 ? kOsTagNt : kOsTagXp;
}

PlatformTags DetectPlatformTags(std::uint32_t version, SettingsReader& reader,
                                const std::string& project_file) {
  const bool studio =
      ReadIniFlag(reader, kHmiEditionFlag.section, kHmiEditionFlag.key, project_file);
  return PlatformTags{OsTagFromVersion(version), studio ? kHmiTagVws : kHmiTagVw};
}

}  // namespace quillet
