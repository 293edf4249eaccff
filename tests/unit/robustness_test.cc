#include <gtest/gtest.h>

#include "collect/collect_logs.h"
#include "collect/launcher.h"
#include "config/settings.h"
#include "run/run_collection.h"
#include "tests/unit/fakes.h"

namespace quillet {
namespace {

using testing::kIni;
using testing::kJournal;
using testing::Names;

class RobustnessTest : public ::testing::Test {
 protected:
  RobustnessTest() {
    run_.files.AddFolder("D:\\Logs");
    run_.settings.Set(kIni, "LogFilesXP", "1", "D:\\Logs\\*.log");
  }
  testing::FakeRun run_;
};

TEST_F(RobustnessTest, LogsHeldOpenAreCopiedThroughASharingHandle) {
  run_.files.AddFile("D:\\Logs\\live.log", "live");
  run_.files.AddFile("D:\\Logs\\sealed.log", "sealed");
  run_.files.HoldOpen("D:\\Logs\\live.log", true);
  run_.files.HoldOpen("D:\\Logs\\sealed.log", false);
  EXPECT_FALSE(CollectLogFiles(run_.context, "LogFilesXP"));
  EXPECT_EQ(run_.files.Content("T:\\Target\\Log\\live.log"), "live");
  EXPECT_FALSE(run_.files.Exists("T:\\Target\\Log\\sealed.log"));
  EXPECT_EQ(run_.files.Content(kJournal), "live.log\r\nFehler:sealed.log\r\n");
}

TEST_F(RobustnessTest, AFileThatWouldEatTheReserveIsNotCopied) {
  run_.files.AddFile("D:\\Logs\\big.log", std::string(3 * 1024 * 1024, 'b'));
  run_.files.AddFile("D:\\Logs\\small.log", "s");
  run_.files.free_bytes = 4 * 1024 * 1024;
  run_.context.min_free_mb = 2;
  EXPECT_FALSE(CollectLogFiles(run_.context, "LogFilesXP"));
  EXPECT_EQ(run_.files.List("T:\\Target\\Log"), Names{"small.log"});
  EXPECT_EQ(run_.files.Content(kJournal), "big.log\r\nFehler:big.log\r\n");
}

TEST_F(RobustnessTest, ALogThatWasNotCollectedIsNotDeleted) {
  run_.files.AddFile("D:\\Logs\\sealed.log", "sealed");
  run_.files.AddFile("D:\\Logs\\done.log", "done");
  run_.files.HoldOpen("D:\\Logs\\sealed.log", false);
  run_.settings.Set(kIni, "DeleteFilesXP", "1", "d:/logs/*.LOG");
  EXPECT_FALSE(CollectLogFiles(run_.context, "LogFilesXP"));
  DeleteListedFiles(run_.context, "DeleteFilesXP");
  EXPECT_EQ(run_.files.List("D:\\Logs"), Names{"sealed.log"});
}

TEST_F(RobustnessTest, WithoutReserveNoFreeSpaceIsAsked) {
  run_.files.AddFile("D:\\Logs\\a.log", "a");
  EXPECT_FALSE(CollectLogFiles(run_.context, "LogFilesXP"));
  for (const std::string& call : run_.files.log)
    EXPECT_EQ(call.find("FreeSpace"), std::string::npos);
}

TEST_F(RobustnessTest, AHungProgramIsEndedWithItsGroupAtTheLimit) {
  run_.processes.hang = true;
  run_.context.program_timeout_s = 2;
  const LaunchOutcome outcome = RunAndWait(run_.context, "C:\\x.exe", 2);
  EXPECT_TRUE(outcome.timed_out);
  EXPECT_EQ(run_.processes.terminated, 1);
  EXPECT_EQ(run_.processes.as_group, std::vector<bool>{true});
  EXPECT_EQ(std::count(run_.window.events.begin(), run_.window.events.end(), "Yield"), 20);
}

TEST_F(RobustnessTest, WithoutLimitProgramsStartAsBefore) {
  run_.files.AddFile("C:\\Tools\\a.exe");
  run_.settings.Set(kIni, "StartExeFilesXP", "1", "C:\\Tools\\a.exe");
  RunStartPrograms(run_.context, "StartExeFilesXP");
  EXPECT_EQ(run_.processes.as_group, std::vector<bool>{false});
  EXPECT_EQ(run_.processes.terminated, 0);
}

TEST_F(RobustnessTest, InvalidExtensionValuesAreIgnoredAndSaid) {
  const std::pair<const char*, long long> cases[] = {
      {"", 0}, {"15", 15}, {"abc", 0}, {"-5", 0}, {"+5", 0}, {"1.5", 0}, {"9999999999999", 0}};
  for (const auto& [value, expected] : cases) {
    run_.settings.Set(kIni, "Project", "ProgramTimeout", value);
    std::string warning;
    EXPECT_EQ(ReadIniCount(run_.settings, "Project", "ProgramTimeout", kIni, &warning), expected);
    EXPECT_EQ(warning.empty(), expected != 0 || *value == '\0') << value;
  }
}

TEST_F(RobustnessTest, ARunShowsWhichSettingWasIgnored) {
  run_.settings.Set(kIni, "Project", "TargetPath", "T:\\Target");
  run_.settings.Set(kIni, "Project", "MinFreeMB", "lots");
  run_.PackerMakesArchives();
  EXPECT_EQ(RunCollection(run_.context), kExitOk);
  EXPECT_EQ(run_.window.Labels()[0], "Ignored MinFreeMB=lots (not a whole number)");
  EXPECT_EQ(run_.context.min_free_mb, 0);
}

}  // namespace
}  // namespace quillet
