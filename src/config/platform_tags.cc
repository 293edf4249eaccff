#include "config/platform_tags.h"

#include "config/settings.h"
#include "platform/rounding.h"

namespace quillet {

std::string OsTagFromVersion(std::uint32_t version) {
  const std::int32_t v = static_cast<std::int32_t>(version);
  // The remainders keep the sign of the value, so on the non-NT family (top
  // bit set, a negative value) the major version can never be 4.
  const std::int32_t w = v % 65536;
  const long long minor = RoundHalfEven(w / 256.0);
  const std::int32_t major = w % 256;
  return major == 4 && minor == 0 ? "NT" : "XP";
}

RunError DetectPlatformTags(RunContext& context) {
  context.state.os_tag = OsTagFromVersion(context.platform.environment->GetVersion());
  const ExpandResult visu = ExpandVariables(context.variables, "$VisuDir$");
  if (visu.error) return RunError{visu.error, visu.what};
  const std::string path = visu.text + "\\Parameter\\Program.ini";
  context.state.hmi_tag =
      ReadIniFlag(*context.platform.settings, "Project", "VWStudio", path) ? "VWS" : "VW";
  return {};
}

}  // namespace quillet
