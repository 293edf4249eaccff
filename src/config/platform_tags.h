// The Windows generation and HMI edition tags that select settings sections.
#ifndef QUILLET_CONFIG_PLATFORM_TAGS_H_
#define QUILLET_CONFIG_PLATFORM_TAGS_H_

#include <cstdint>
#include <string>

#include "run/run_context.h"

namespace quillet {

// "NT" for version 4.0 of the NT family, "XP" for every other version value
// (in the layout of the Windows GetVersion value).
std::string OsTagFromVersion(std::uint32_t version);

// Sets os_tag from the system version, and hmi_tag to "VWS" when the HMI
// project file ($VisuDir$\Parameter\Program.ini) has VWStudio=true in
// section Project, else "VW". Fails only when $VisuDir$ cannot be expanded.
RunError DetectPlatformTags(RunContext& context);

}  // namespace quillet

#endif  // QUILLET_CONFIG_PLATFORM_TAGS_H_
