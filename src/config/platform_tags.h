// The Windows generation and HMI edition tags that select settings sections.
#ifndef QUILLET_CONFIG_PLATFORM_TAGS_H_
#define QUILLET_CONFIG_PLATFORM_TAGS_H_

#include <cstdint>
#include <string>

#include "platform/settings_reader.h"

namespace quillet {

struct PlatformTags {
  std::string os_tag;   // "NT" or "XP".
  std::string hmi_tag;  // "VW" or "VWS".
};

// "NT" for version 4.0 of the NT family, "XP" for every other version value
// (in the layout of the Windows GetVersion value).
std::string OsTagFromVersion(std::uint32_t version);

// The tags of a system of `version` whose HMI project file is
// `project_file`: the HMI tag is "VWS" when that file has VWStudio=true in
// section Project, else "VW".
PlatformTags DetectPlatformTags(std::uint32_t version, SettingsReader& reader,
                                const std::string& project_file);

}  // namespace quillet

#endif  // QUILLET_CONFIG_PLATFORM_TAGS_H_
