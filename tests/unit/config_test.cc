// Directory variables, placeholder expansion, settings values and platform
// tags: the rules that the steps build on.
#include <gtest/gtest.h>

#include "config/dir_variables.h"
#include "config/platform_tags.h"
#include "config/settings.h"
#include "platform/errors.h"
#include "tests/fakes/fakes.h"

namespace quillet {
namespace {

TEST(DirVariablesTest, TakeNonEmptyEnvironmentValuesAndStopCyclesAndOverlongTexts) {
  DirVariables variables;
  FillDirVariables(&variables);
  testing::FakeEnvironment environment;
  environment.variables = {{"windir", "C:\\Windows"},
                           {"VISUDIR", ""},
                           {"TempVisu", " $VisuDir$ "},
                           {"MorvaToolsDir", std::string(5000, 'm')}};
  for (int i = 1; i <= 12; ++i) EXPECT_FALSE(ResolveDirVariable(i, environment, &variables));
  const std::pair<int, std::string> resolved[] = {
      {1, "C:\\Windows"}, {2, std::string(5000, 'm')}, {4, "C:\\Pantra"}, {12, " $VisuDir$ "}};
  for (const auto& [i, value] : resolved) EXPECT_EQ(variables.Entry(i).value, value) << i;
  EXPECT_EQ(variables.Entry(13).name, "");
  EXPECT_EQ(ResolveDirVariable(0, environment, &variables), make_error_code(Errc::kBounds));
  EXPECT_EQ(ResolveDirVariable(21, environment, &variables), make_error_code(Errc::kBounds));
  EXPECT_FALSE(ResolveDirVariable(20, environment, &variables));

  FillDirVariables(&variables);
  const auto expand = [&](const std::string& text) {
    ExpandResult result = ExpandVariables(variables, text);
    EXPECT_FALSE(result.error) << result.what;
    return result.text;
  };
  for (const std::string value : {"$VisuDir$", "$VisuDir$\\x", "x$TempVisu$"}) {
    variables.Entry(4).value = value;
    variables.Entry(12).value = "$VisuDir$";
    ExpandResult result = ExpandVariables(variables, "$VisuDir$\\Task.bat");
    ASSERT_EQ(result.error, make_error_code(Errc::kPlaceholderCycle)) << value;
    EXPECT_NE(result.what.find("$VisuDir$"), std::string::npos) << result.what;
    EXPECT_EQ(result.text, "$VisuDir$\\Task.bat");
  }
  EXPECT_EQ(ExpandVariables(variables, std::string(40000, 'a') + "$VisuDir$").error,
            make_error_code(Errc::kTextTooLong));
  EXPECT_EQ(expand(std::string(40000, 'a')), std::string(40000, 'a'));
  // Up to 4096 replacements, and not one more.
  FillDirVariables(&variables);
  variables.Entry(1).value = "x";
  variables.Entry(4).value = "$windir$$windir$";
  std::string many;
  for (int i = 0; i < 1365; ++i) many += "$VisuDir$";
  EXPECT_EQ(expand(many + "$windir$"), std::string(2731, 'x'));
  EXPECT_EQ(ExpandVariables(variables, many + "$windir$$windir$").error,
            make_error_code(Errc::kPlaceholderCycle));
  // The closing "$" of a pair may stand at character 32767, not beyond.
  FillDirVariables(&variables);
  EXPECT_EQ(expand(std::string(32758, 'a') + "$VisuDir$").substr(32758), "C:\\Pantra");
  EXPECT_EQ(ExpandVariables(variables, std::string(32759, 'a') + "$VisuDir$").error,
            make_error_code(Errc::kTextTooLong));
}

TEST(SettingsTest, ListsFlagsCountsAndTags) {
  testing::FakePlatform fake;
  fake.files.AddFile("f", "[L]\n1=a\n2=b\n4=d\n32767=x\n[P]\nA = True\nB=yes\nT=15\nU=-5\nV=1.5\n");
  const ListSection list{fake.settings, "f", "L"};
  const std::pair<int, const char*> entries[] = {
      {1, "a"}, {4, "d"}, {32767, "x"}, {32768, ""}, {0, ""}};
  for (const auto& [key, value] : entries) EXPECT_EQ(list.Entry(key), value) << key;
  EXPECT_TRUE(ReadIniFlag(fake.settings, "P", "A", "f"));
  EXPECT_FALSE(ReadIniFlag(fake.settings, "P", "B", "f"));
  std::string warning;
  EXPECT_EQ(ReadIniCount(fake.settings, "P", "T", "f", &warning), 15);
  EXPECT_EQ(ReadIniCount(fake.settings, "P", "none", "f", &warning), 0);
  EXPECT_EQ(warning, "");
  for (const char* key : {"U", "V", "B"}) {
    EXPECT_EQ(ReadIniCount(fake.settings, "P", key, "f", &warning), 0);
    EXPECT_EQ(warning.rfind(std::string("Ignored ") + key + "=", 0), 0u) << warning;
  }

  EXPECT_EQ(OsTagFromVersion(0x05650004), "NT");  // 4.0 build 1381
  for (std::uint32_t version : {0x00000104u, 0x08930005u, 0x0A280105u, 0xC0000004u, 0xC0000A04u})
    EXPECT_EQ(OsTagFromVersion(version), "XP") << version;
  fake.files.AddFile("p.ini", "[Project]\nVWStudio=true\n");
  EXPECT_EQ(DetectPlatformTags(0x05650004, fake.settings, "p.ini").hmi_tag, "VWS");
  EXPECT_EQ(DetectPlatformTags(0x05650004, fake.settings, "none.ini").hmi_tag, "VW");
}

}  // namespace
}  // namespace quillet
