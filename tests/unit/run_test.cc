// The driver over the fakes: the target folder's placeholders, the order of a run and its
// closing, what ends it early, the report, and the settings check.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "archive/pack_logs.h"
#include "run/run_collection.h"
#include "run/settings_check.h"
#include "tests/fakes/fakes.h"

namespace quillet {
namespace {

using testing::Names;

class RunTest : public ::testing::Test {
 protected:
  RunTest() {
    fake_.PackerMakesArchives();
    context_.platform = fake_.platform;
    SetProgramLocation("C:\\Tools\\quillet.exe", &context_);
    fake_.files.AddFile("D:\\Logs\\a.log", "a");
    fake_.files.AddFile("D:\\Logs\\old.log", "old");
  }
  int Run(const std::string& tail = "") {
    fake_.environment.tail = tail;
    return RunProgram(context_);
  }
  testing::FakePlatform fake_;
  RunContext context_;
};

TEST_F(RunTest, TargetPathIsExpandedOnceAndUsedByEveryStep) {
  fake_.files.AddFolder("C:\\Temp");
  fake_.files.AddFile(
      "C:\\Tools\\quillet.ini",
      "[Project]\nTargetPath=$TempVisu$\\Arch$$ives\n[LogFilesXP]\n1=$windir$\\a.log\n");
  fake_.environment.variables["WINDIR"] = "D:\\Logs";  // The first variable is the system's too.
  // Five tries at the files beginning with 9, and at moving a held file up; what resists is
  // named, by an unattended run without waiting for anyone.
  for (const char* name : {"4-x.Zip", "9a", "9b", "9c", "9d", "9e", "9f"})
    fake_.files.AddFile(std::string("C:\\Temp\\Archives\\") + name);
  fake_.files.HoldOpen("C:\\Temp\\Archives\\4-x.Zip", true);
  ASSERT_EQ(Run("x"), kExitOk);
  EXPECT_EQ(fake_.files.List("C:\\Temp\\Archives"),
            (Names{"1-03.01.27-09.05.07.Zip", "4-x.Zip", "9f"}));
  const Names resisted = {"Can not delete 9f", "Can not copy 4-x.Zip"};
  EXPECT_EQ(fake_.files.Content("C:\\Tools\\test.log"),
            "a.log\r\n" + resisted[0] + "\r\n" + resisted[1] + "\r\n");
  EXPECT_EQ(fake_.window.With("Message:"), Names{});
  EXPECT_EQ(fake_.window.With("Error:"), resisted);
  fake_.files.FailOn("OpenText", "TASK.BAT");  // Without its batch file no process list is made.
  EXPECT_EQ(Run("x"), kExitRunError);
  // The packer's words stay whole where a folder has a blank.
  EXPECT_EQ(PackCommandLine("C:\\Zip.exe", "C:\\Service Logs\\1-a.Zip", "C:\\S L\\Log\\*.*"),
            "C:\\Zip.exe -j \"C:\\Service Logs\\1-a.Zip\" \"C:\\S L\\Log\\*.*\"");
}

TEST_F(RunTest, TheArchiveCarriesAReportTheSettingsAndTheJournalWhenAskedFor) {
  fake_.WriteSettings("[LogFilesXP]\n1=D:\\Logs\\*.log\n[DeleteFilesXP]\n1=D:\\Logs\\a.*\n",
                      "Report=True\nMinFreeMB=1\nProgramTimeout=soon\n");
  fake_.files.AddFile("T:\\Target\\Log\\earlier.log", "x");
  fake_.files.AddFile("T:\\Target\\Log\\Quillet-Settings.ini", "from an earlier run");
  fake_.files.AddFile("T:\\Target\\Log\\old.log", "stale");  // Moves aside for the fresh copy.
  std::string report, settings, fresh;
  Names staged;
  fake_.PackerMakesArchives([&] {
    report = fake_.files.Content("T:\\Target\\Log\\Quillet-Report.json");
    staged = fake_.files.List("T:\\Target\\Log");
    settings = fake_.files.Content("T:\\Target\\Log\\Quillet-Settings.ini");
    fresh = fake_.files.Content("T:\\Target\\Log\\old.log");
  });
  ASSERT_EQ(Run(), kExitOk);
  // The screenshot, from the screen when the clipboard has none, never shows the status window.
  const Names& e = fake_.window.events;
  const Names shot = {"PrintScreen", "Yield", "Clipboard", "Capture", "Show"};
  EXPECT_NE(std::search(e.begin(), e.end(), shot.begin(), shot.end()), e.end());
  EXPECT_EQ(staged, (Names{"a.log", "earlier.log", "old (2).log", "old.log", "Quillet-Journal.txt",
                           "Quillet-Report.json", "Quillet-Settings (2).ini",
                           "Quillet-Settings.ini", "Screen.bmp"}));
  EXPECT_EQ(settings, fake_.files.Content("C:\\Tools\\quillet.ini"));
  EXPECT_EQ(fresh, "old");
  EXPECT_EQ(fake_.window.With("Label:"),
            (Names{"Ignored ProgramTimeout=soon (not a whole number)", "Taskmanager", "Exe",
                   "Reading Windows", "DebugWin", "Copying Logs LogFilesXP",
                   "Copying Logs LogFilesVW", "Zipping Logs", "Deleting Logs", "OK"}));
  // The run ends in front of every window, with its closing message.
  EXPECT_EQ(Names(e.end() - 6, e.end() - 1),
            (Names{"Front", "Hide", "Label:OK", "Yield", "Place:0,0,398,87"}));
  const nlohmann::json json = nlohmann::json::parse(report);
  EXPECT_NE(report.find("\n  \"start_time\": \"2027-03-01T09:05:07\""), std::string::npos);
  EXPECT_EQ(json["directory_variables"].size(), 12u);
  EXPECT_EQ(json["steps"].back()["status"], "pending");
  EXPECT_EQ(json["log_patterns"][0]["matches"], 2);
  EXPECT_EQ(json["staged_files"][0]["source"], "D:\\Logs\\a.log");
  EXPECT_EQ(json["staged_files"][0]["crc32"], "e8b7be43");
  EXPECT_EQ(json["staged_files"][2]["earlier_run"], true);
  EXPECT_EQ(json["staged_files"][2]["modified"], "2026-01-02T03:04:05");
  EXPECT_EQ(json["staged_files"][4]["name"], "Quillet-Settings (2).ini");  // Under its new name.
  EXPECT_EQ(json["delete_patterns"][0]["pattern"], "D:\\Logs\\a.*");
  EXPECT_EQ(json["screenshot"], "direct");
  EXPECT_FALSE(fake_.files.Exists("D:\\Logs\\a.log"));
  EXPECT_NE(fake_.window.With("Message:")[0].find(". 3 files were left in"), std::string::npos);
  EXPECT_EQ(fake_.clock.slept_ms, 250 + 1500 + 100);  // Screenshot, warning, closing pauses.
}

TEST_F(RunTest, SettingsCheckNamesEveryProblemThatWouldBreakARun) {
  fake_.files.AddFile(
      "C:\\Tools\\quillet.ini",
      "[Project]\nTargetPath=Q:\\No\\Target\nProgramTimeout=2min\nReport=yes\n"
      "Colour=blue\n[LogFilesPW]\n1=D:\\Logs\\*.log\n[StartExeFilesXP]\n"
      "1=$VisuDir$\\Task.bat\n2=C:\\Pantra\n9=C:\\x.exe\nNote=x\n"
      "[LogFilesXP]\n1=$VisuDirr$\\*.log\n2=$VisuDir$\\Task.log\n3=$TempVisu$\\x\n"
      "4=D:\\Logs\\old.log\n5=a\n6=a\n7=a\n8=a\n9=$VisuDir$\\Task.log\n"
      "[DeleteFilesXP]\n1=D:\\Logs\\*.log\n[PROJECT]\nReport=true\n[DeleteFilesNT]\n2=x\n");
  std::ostringstream out;
  fake_.environment.variables["TempVisu"] = "$TempVisu$\\Temp";
  ASSERT_FALSE(Configure(context_));
  EXPECT_EQ(CheckSettings(context_, out), kExitCheckFailed);
  const std::string text = out.str();
  for (const char* problem :
       {"TargetPath Q:\\No\\Target cannot be used: neither the folder nor its parent Q:\\No exists",
        "[Project] ProgramTimeout=2min (not a whole number)",
        "[Project] Report=yes is neither true nor false", "[Project] Colour= is no key",
        "[LogFilesPW] is no section Quillet reads (did you mean [LogFilesVW]?)",
        "[StartExeFilesXP] 9= is never read: the list ends after key 2",
        "[StartExeFilesXP] Note= is never read: the list ends after key 2",
        "the PStatXP.exe of the run is missing: C:\\MorvaTools\\Quillet\\PStatXP.exe",
        "program C:\\Pantra NOT FOUND", "unknown placeholder $VisuDirr$",
        "D:\\Logs\\a.log would be deleted without being archived",
        "[PROJECT] appears twice: only the first is read",
        "The placeholder $TempVisu$ keeps growing",
        "[DeleteFilesNT] 2= is never read: the list ends before key 1"}) {
    EXPECT_NE(text.find(std::string("PROBLEM: ") + problem), std::string::npos) << problem << "\n"
                                                                                << text;
  }
  EXPECT_NE(text.find("program C:\\Pantra\\Task.bat is written by each run"), std::string::npos);
  EXPECT_NE(text.find("[LogFilesVW]\n  (empty)\n"), std::string::npos);
  EXPECT_NE(text.find("15 problems found."), std::string::npos) << text;
  EXPECT_NE(text.find("\n  $WinDir$ = "), std::string::npos);
  EXPECT_NE(text.find("old.log\n    matches 1 file\n"), std::string::npos);
  for (const std::string& call : fake_.files.log)
    EXPECT_TRUE(call.rfind("Stat", 0) == 0 || call.rfind("DirFirst", 0) == 0) << call;
}

}  // namespace
}  // namespace quillet
