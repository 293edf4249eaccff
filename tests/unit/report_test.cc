#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "run/report_json.h"
#include "run/run_collection.h"
#include "run/settings_check.h"
#include "tests/unit/fakes.h"

namespace quillet {
namespace {

using testing::kIni;

class ReportTest : public ::testing::Test {
 protected:
  ReportTest() {
    run_.settings.Set(kIni, "Project", "TargetPath", "T:\\Target");
    run_.settings.Set(kIni, "Project", "Report", "True");
    run_.files.AddFolder("D:\\Logs");
    run_.files.AddFile("D:\\Logs\\a.log", "a");
    run_.files.AddFile("D:\\Logs\\b.log", "b");
    run_.files.HoldOpen("D:\\Logs\\b.log", false);
    run_.files.AddFile("C:\\Tools\\x.exe");
    run_.settings.Set(kIni, "LogFilesXP", "1", "D:\\Logs\\*.log");
    run_.settings.Set(kIni, "StartExeFilesXP", "1", "C:\\Tools\\x.exe -v");
    run_.settings.Set(kIni, "DeleteFilesXP", "1", "D:\\Logs\\a.*");
    // The packer keeps what the report says, as the archive would.
    run_.processes.on_start = [this](const std::string&) {
      report_ = run_.files.Content("T:\\Target\\Log\\Quillet-Report.json");
      run_.files.AddFile("T:\\Target\\" + run_.context.state.archive_name, "PK");
    };
  }
  testing::FakeRun run_;
  std::string report_;
};

TEST_F(ReportTest, TheArchiveGetsAReportOfTheRun) {
  ASSERT_EQ(RunCollection(run_.context), kExitOk);
  const nlohmann::json json = nlohmann::json::parse(report_);
  EXPECT_EQ(json["program"]["name"], "Quillet");
  EXPECT_EQ(json["computer"], "HMI-PC");
  EXPECT_EQ(json["start_time"], "2027-03-01T09:05:07");
  EXPECT_EQ(json["system"]["os_tag"], "XP");
  EXPECT_EQ(json["directory_variables"]["VisuDir"], "C:\\Pantra");
  EXPECT_EQ(json["directory_variables"].size(), 12u);
  EXPECT_EQ(json["steps"][0]["name"], "PrepareTarget");
  EXPECT_EQ(json["steps"].back()["status"], "pending");
  EXPECT_EQ(json["start_programs"][0]["command_line"], "C:\\Tools\\x.exe -v");
  EXPECT_EQ(json["start_programs"][0]["exit_code"], 0);
  EXPECT_EQ(json["log_patterns"][0]["matches"], 2);
  EXPECT_EQ(json["log_patterns"][0]["failures"][0]["file"], "D:\\Logs\\b.log");
  EXPECT_EQ(json["delete_patterns"][0]["matches"], 1);
  EXPECT_EQ(json["screenshot"], "direct");
  EXPECT_FALSE(run_.files.Exists("D:\\Logs\\a.log"));  // Counted first, deleted after packing.
}

TEST_F(ReportTest, WithoutTheKeyTheArchiveHoldsNoReport) {
  run_.settings.Set(kIni, "Project", "Report", "yes");
  ASSERT_EQ(RunCollection(run_.context), kExitOk);
  EXPECT_TRUE(report_.empty());
}

TEST_F(ReportTest, SettingsCheckListsEntriesAndFlagsWhatIsMissing) {
  run_.settings.Set(kIni, "StartExeFilesXP", "2", "C:\\Nowhere\\y.exe");
  run_.settings.Set(kIni, "LogFilesVW", "1", "$VisuDirr$\\*.log");
  std::ostringstream out;
  EXPECT_EQ(CheckSettings(run_.context, out), kExitCheckFailed);
  const std::string text = out.str();
  EXPECT_NE(text.find("program C:\\Tools\\x.exe found"), std::string::npos) << text;
  EXPECT_NE(text.find("PROBLEM: program C:\\Nowhere\\y.exe NOT FOUND"), std::string::npos);
  EXPECT_NE(text.find("matches 2 files"), std::string::npos);
  EXPECT_NE(text.find("PROBLEM: unknown placeholder $VisuDirr$"), std::string::npos);
  EXPECT_NE(text.find("3 problems found."), std::string::npos) << text;
  EXPECT_EQ(run_.files.log.end(),
            std::find_if(run_.files.log.begin(), run_.files.log.end(), [](const std::string& call) {
              return call.rfind("Dir", 0) != 0 && call.rfind("FileSize", 0) != 0;
            }));
  EXPECT_TRUE(run_.processes.launches.empty());
}

TEST_F(ReportTest, SettingsCheckWithoutTargetPath) {
  run_.settings.Set(kIni, "Project", "TargetPath", "");
  std::ostringstream out;
  EXPECT_EQ(CheckSettings(run_.context, out), kExitNoTargetPath);
  EXPECT_NE(out.str().find("TargetPath: (MISSING"), std::string::npos);
}

}  // namespace
}  // namespace quillet
