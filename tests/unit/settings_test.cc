#include "config/settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "config/platform_tags.h"
#include "platform/platform.h"
#include "tests/unit/fakes.h"

namespace quillet {
namespace {

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override { path_ = ::testing::TempDir() + "settings_test.ini"; }
  void TearDown() override { std::remove(path_.c_str()); }
  void Write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  std::string Read(const std::string& section, const std::string& key) {
    return ReadIniString(*reader_, section, key, path_);
  }
  std::unique_ptr<SettingsReader> reader_ = CreateSettingsReader();
  std::string path_;
};

TEST_F(IniFileTest, FollowsTheReadingRules) {
  Write(
      "[project]\r\n  TARGETPATH  =  D:\\Service  \r\n[Quotes]\nd=\"a b\"\ns='x'\n"
      "m=\"unmatched'\nempty=\nblank=   \n");
  EXPECT_EQ(Read("Project", "TargetPath"), "D:\\Service");
  EXPECT_EQ(Read("PROJECT", "targetpath"), "D:\\Service");
  EXPECT_EQ(Read("Quotes", "d"), "a b");
  EXPECT_EQ(Read("Quotes", "s"), "x");
  EXPECT_EQ(Read("Quotes", "m"), "\"unmatched'");
  EXPECT_EQ(Read("Quotes", "empty"), "");
  EXPECT_EQ(Read("Quotes", "blank"), "");
  EXPECT_EQ(Read("Quotes", "missing"), "");
  EXPECT_EQ(Read("Missing", "d"), "");
}

TEST_F(IniFileTest, CutsLongValuesAndTakesTheFirstOfDuplicates) {
  Write("[A]\nlong=" + std::string(300, 'x') + "\nk=1\nk=2\n[A]\nk=3\nonly=4\n");
  EXPECT_EQ(Read("A", "long"), std::string(254, 'x'));
  EXPECT_EQ(Read("A", "k"), "1");
  EXPECT_EQ(Read("A", "only"), "");
}

TEST_F(IniFileTest, MissingFileGivesEmptyValues) {
  EXPECT_EQ(ReadIniString(*reader_, "Project", "TargetPath", path_ + ".none"), "");
  EXPECT_FALSE(ReadIniFlag(*reader_, "Project", "VWStudio", path_ + ".none"));
}

TEST_F(IniFileTest, FlagIsTrueOnlyForTrueInAnyCase) {
  const std::pair<const char*, bool> cases[] = {
      {"true", true}, {"True", true}, {" TRUE ", true}, {"\"true\"", true}, {"1", false},
      {"yes", false}, {"ON", false},  {"TRUE1", false}, {"", false}};
  for (const auto& [value, expected] : cases) {
    Write(std::string("[Project]\nVWStudio = ") + value + "\n");
    EXPECT_EQ(ReadIniFlag(*reader_, "Project", "VWStudio", path_), expected) << value;
  }
}

TEST(ListEntryTest, ReadsDecimalKeysWithinSixteenBits) {
  testing::FakeSettings settings;
  settings.Set("f", "LogFilesXP", "1", "a");
  settings.Set("f", "LogFilesXP", "32767", "b");
  settings.Set("f", "LogFilesXP", "32768", "c");
  EXPECT_EQ(ReadListEntry(settings, "LogFilesXP", 1, "f"), "a");
  EXPECT_EQ(ReadListEntry(settings, "LogFilesXP", 32767, "f"), "b");
  EXPECT_EQ(ReadListEntry(settings, "LogFilesXP", 32768, "f"), "");
}

TEST(PlatformTagsTest, OnlyNtFourZeroGivesNt) {
  EXPECT_EQ(OsTagFromVersion(0x05650004), "NT");  // 4.0 build 1381
  EXPECT_EQ(OsTagFromVersion(0x00000104), "XP");  // 4.1
  EXPECT_EQ(OsTagFromVersion(0x08930005), "XP");  // 5.0
  EXPECT_EQ(OsTagFromVersion(0x0A280105), "XP");  // 5.1
  EXPECT_EQ(OsTagFromVersion(0x1DB10106), "XP");  // 6.1
  EXPECT_EQ(OsTagFromVersion(0xC0000004), "XP");  // 4.0, non-NT family
  EXPECT_EQ(OsTagFromVersion(0xC0000A04), "XP");  // 4.10, non-NT family
}

TEST(PlatformTagsTest, HmiEditionComesFromTheProjectFileOfVisuDir) {
  testing::FakeRun run;
  run.settings.Set("D:\\Visu\\Parameter\\Program.ini", "Project", "VWStudio", "True");
  EXPECT_FALSE(DetectPlatformTags(run.context));
  EXPECT_EQ(run.context.state.hmi_tag, "VW");  // Default VisuDir C:\Pantra has no file.
  run.context.variables.Entry(4).value = "D:\\Visu";
  EXPECT_FALSE(DetectPlatformTags(run.context));
  EXPECT_EQ(run.context.state.hmi_tag, "VWS");
  EXPECT_EQ(run.context.state.os_tag, "XP");
  run.context.variables.Entry(4).value = "$VisuDir$";
  EXPECT_TRUE(DetectPlatformTags(run.context));
}

}  // namespace
}  // namespace quillet
