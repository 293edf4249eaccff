// The driver over the fakes: the target folder's placeholders, the order of a run and its
// closing, what ends it early, the report, and the settings check.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "archive/pack_logs.h"
#include "run/command_line.h"
#include "run/settings_check.h"
#include "tests/fakes/fakes.h"

namespace quillet {
namespace {

using testing::Names;

// The first letter of each step's status in the report: done, failed or pending.
std::string Statuses(const nlohmann::json& report) {
  std::string letters;
  for (const auto& step : report["steps"]) letters += step["status"].get<std::string>()[0];
  return letters;
}

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
  // Without a packer no archive is made: nothing says OK, and the report left in the staging
  // folder tells that the screen could not be captured.
  fake_.files.AddFile("C:\\Tools\\quillet.ini", "[Project]\nTargetPath=T:\\Target\nReport=true\n");
  fake_.files.DeleteFile("C:\\MorvaTools\\Quillet\\Zip.exe");
  fake_.desktop.no_screen = true;
  EXPECT_EQ(Run("x"), kExitNoArchive);
  EXPECT_EQ(fake_.window.With("Label:").back(), "No archive was made");
  EXPECT_EQ(fake_.window.With("Label:OK").size(), 1u);  // The first run's alone.
  const nlohmann::json json =
      nlohmann::json::parse(fake_.files.Content("T:\\Target\\Log\\Quillet-Report.json"));
  EXPECT_EQ(Statuses(json), "dfdddfddpp");     // No screenshot, no debug window.
  fake_.files.FailOn("OpenText", "TASK.BAT");  // Without its batch file no process list is made.
  EXPECT_EQ(Run("x"), kExitRunError);
  // The packer's words stay whole where a folder has a blank.
  EXPECT_EQ(PackCommandLine("C:\\Zip.exe", "C:\\Service Logs\\1-a.Zip", "C:\\S L\\Log\\*.*"),
            "C:\\Zip.exe -j \"C:\\Service Logs\\1-a.Zip\" \"C:\\S L\\Log\\*.*\"");
}

TEST_F(RunTest, TheArchiveCarriesAReportTheSettingsAndTheJournalWhenAskedFor) {
  fake_.WriteSettings(
      "[LogFilesXP]\n1=D:\\Logs\\*.log\n2=D:\\None\\*.log\n[StartExeFilesXP]\n1=C:\\none.exe\n"
      "[DeleteFilesXP]\n1=D:\\Logs\\a.*\n2=D:\\Logs\\old*.log\n",
      "Report=True\nMinFreeMB=1\nProgramTimeout=soon\n");
  // Windows' search matches this file by its short name OLD_AL~1.LOG, which no list means.
  fake_.files.AddFile("D:\\Logs\\old_alarm.logx");
  fake_.files.short_names["old_alarm.logx"] = "OLD_AL~1.LOG";
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
                           "Quillet-Report.html", "Quillet-Report.json", "Quillet-Settings (2).ini",
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
  EXPECT_EQ(json["log_patterns"][0]["matches"], 2);
  EXPECT_EQ(json["staged_files"][0]["source"], "D:\\Logs\\a.log");
  EXPECT_EQ(json["staged_files"][0]["crc32"], "e8b7be43");
  EXPECT_EQ(json["staged_files"][2]["earlier_run"], true);
  EXPECT_EQ(json["staged_files"][2]["modified"], "2026-01-02T03:04:05");
  EXPECT_EQ(json["staged_files"][4]["name"], "Quillet-Settings (2).ini");  // Under its new name.
  EXPECT_EQ(json["delete_patterns"][0]["pattern"], "D:\\Logs\\a.*");
  EXPECT_EQ(json["screenshot"], "direct");
  EXPECT_EQ(Statuses(json), "dddfdffdpp");  // A program, the debug window, a log entry failed.
  EXPECT_EQ(json["staged_files"][5]["name"], "Screen.bmp");  // Made by the run itself.
  EXPECT_EQ(json["staged_files"].size(), 6u);
  // Every time carries its offset from UTC.
  EXPECT_EQ(json["start_time_utc_offset"], "-05:30");
  EXPECT_EQ(json["end_time_utc_offset"], "-05:30");
  EXPECT_EQ(json["staged_files"][0]["modified_utc_offset"], "+00:00");
  EXPECT_FALSE(fake_.files.Exists("D:\\Logs\\a.log") || fake_.files.Exists("D:\\Logs\\old.log"));
  EXPECT_TRUE(fake_.files.Exists("D:\\Logs\\old_alarm.logx"));
  const std::string journal = fake_.files.Content("C:\\Tools\\test.log"), passed = "Passed over:";
  EXPECT_NE(journal.find(passed), journal.rfind(passed)) << journal;  // Collection and deletion.
  EXPECT_NE(fake_.window.With("Message:")[0].find(". 3 files were left in"), std::string::npos);
  EXPECT_EQ(fake_.clock.slept_ms, 250 + 1500 + 100);  // Screenshot, warning, closing pauses.
}

TEST_F(RunTest, SettingsCheckNamesEveryProblemThatWouldBreakARunAndOptionsChangeNothing) {
  struct Case {
    std::string ini;
    std::string visu_dir;  // The environment's VisuDir; "" for the default.
    int code;
    std::vector<std::string> lines;  // Each must appear in the output.
  };
  const Case cases[] = {
      {"[Project]\nTargetPath=Q:\\No\\Target\nProgramTimeout=2min\nProgramTimout=30\n"
       "MinFreeMB=1 GB\nReport=yes\nColour=blue\n[LogFilesPW]\n1=D:\\Logs\\*.log\n"
       "[StartExeFilesXP]\n1=$VisuDir$\\Task.bat\n2=C:\\Pantra\n"
       "3=\"C:\\Program Files\\Vendor\\dump.exe\" -q\n4=C:\\Program Files\\Vendor\\dump.exe -q\n"
       "9=C:\\x.exe\nNote=x\n[LogFilesXP]\n1=$VisuDirr$\\*.log\n2=$VisuDir$\\Task.log\n"
       "3=$TempVisu$\\x\n4=D:\\Logs\\old.log\n5=$VisuDir$\\Log\n6=$VisuDir$\\Log\\\n"
       "7=D:\\Logs\\later.log\n8=D:\\Logs\\*.txt\n9=$VisuDir$\\Task.log\n"
       "[DeleteFilesXP]\n1=D:\\Logs\\*.log\n2=$VisuDir$\\Log\n[PROJECT]\nReport=true\n"
       "[DeleteFilesNT]\n2=x\n",
       "",
       kExitCheckFailed,
       {"PROBLEM: TargetPath Q:\\No\\Target cannot be used: neither",
        "[Project] Colour= is no key",
        "PROBLEM: [Project] ProgramTimeout=2min is not a whole number",
        "\n22 problems found.\n",
        "  ProgramTimeout = 0 (no time limit)\n",
        "(did you mean ProgramTimeout=?)",
        "MinFreeMB=1 GB is not a whole number (write digits only), so it counts as off: no free",
        "PROBLEM: program C:\\Pantra NOT FOUND",
        "PROBLEM: [Project] Report=yes is neither true nor false, so it counts as off",
        "PROBLEM: [LogFilesPW] is no section Quillet reads (did you mean [LogFilesVW]?)",
        "PROBLEM: [StartExeFilesXP] 9= is never read: the list ends after key 4",
        "PROBLEM: [StartExeFilesXP] Note= is never read",
        "PROBLEM: the PStatXP.exe of the run is missing: C:\\MorvaTools\\Quillet\\PStatXP.exe",
        "program C:\\Pantra\\Task.bat is written by each run",
        "old.log\n    matches 1 file\n",
        "PROBLEM: program path \"C:\\Program Files\\Vendor\\dump.exe\" is quoted, but a run",
        "everything before the first blank, quotes included, as the program (\"C:\\Program)",
        "PROBLEM: program path C:\\Program Files\\Vendor\\dump.exe holds a blank: a run",
        "takes only the text before the first blank (C:\\Program) as the program",
        "PROBLEM: unknown placeholder $VisuDirr$",
        "PROBLEM: The placeholder $TempVisu$ keeps",
        "PROBLEM: $VisuDir$\\Log names a folder, but an entry names files, so it collects",
        "collects nothing; write $VisuDir$\\Log\\*.* to",
        "PROBLEM: $VisuDir$\\Log\\ names a",
        "\n    note: D:\\Logs\\later.log does not exist now; it may appear before the run\n",
        "\n    passed over, only its 8.3 short name matches: D:\\Logs\\notes.txtx\n",
        "PROBLEM: D:\\Logs\\a.log would be deleted without being archived",
        "PROBLEM: $VisuDir$\\Log names a folder, but an entry names files, so it deletes nothing",
        "PROBLEM: [PROJECT] appears twice: only the first is read",
        "PROBLEM: [DeleteFilesNT] 2= is never read: the list ends before key 1"}},
      {"[Project]\nTarget Path=D:\\Service\nMinFreeMB=200\nProgramTimeout=30\nReport=TRUE\n",
       "C:\\Missing",
       kExitNoTargetPath,
       {"PROBLEM: [Project] Target Path= is no key Quillet reads (did you mean TargetPath=?)",
        "PROBLEM: [Project] has no TargetPath, so a run collects nothing",
        "PROBLEM: the folder C:\\Missing ($VisuDir$) does not exist: every run would stop at",
        "would stop at \"Taskmanager\", unable to write Task.bat", "  Report = true",
        "  ProgramTimeout = 30 (30 seconds", "  MinFreeMB = 200 (200 MiB",
        "\n4 problems found.\n"}},
      {"[Project]\nTargetPath=Archives\n",
       "C:\\HMI Visu",
       kExitCheckFailed,
       {"PROBLEM: TargetPath Archives is a relative path",
        "PROBLEM: the folder C:\\HMI Visu ($VisuDir$) takes no new file",
        "PROBLEM: the folder C:\\HMI Visu ($VisuDir$) holds a blank", "\n4 problems found.\n"}},
  };
  for (const Case& c : cases) {
    testing::FakePlatform fake;
    RunContext context;
    context.platform = fake.platform;
    SetProgramLocation("C:\\Tools\\quillet.exe", &context);
    for (const char* file :
         {"D:\\Logs\\a.log", "D:\\Logs\\old.log", "D:\\Logs\\notes.txtx",
          "C:\\Program Files\\Vendor\\dump.exe", "C:\\Pantra\\Log\\x", "C:\\HMI Visu\\x"})
      fake.files.AddFile(file);
    fake.files.short_names["notes.txtx"] = "NOTES~1.TXT";
    fake.files.FailOn("CanCreateIn", "HMI VISU");
    fake.files.AddFile("C:\\Tools\\quillet.ini", c.ini);
    fake.environment.variables["TempVisu"] = "$TempVisu$\\Temp";
    if (!c.visu_dir.empty()) fake.environment.variables["VisuDir"] = c.visu_dir;
    std::ostringstream out;
    ASSERT_FALSE(Configure(context));
    EXPECT_EQ(CheckSettings(context, out), c.code);
    for (const std::string& line : c.lines)
      EXPECT_NE(out.str().find(line), std::string::npos) << line << "\n" << out.str();
    for (const std::string& call : fake.files.log)  // Only questions, no changes.
      EXPECT_TRUE(std::regex_search(call, std::regex("^(Stat|DirFirst|CanCreateIn) "))) << call;
  }
  // Options work as Windows writes them too; one mistyped, or among other words, is refused and
  // changes nothing, while any other word asks for an unattended run.
  fake_.WriteSettings("");
  const std::pair<const char*, int> options[] = {{"/CHECK", kExitCheckFailed},
                                                 {"--chek", 2},
                                                 {"/hlep", 2},
                                                 {"--check now", 2},
                                                 {"/Version", 0}};
  for (const auto& [tail, code] : options) EXPECT_EQ(Run(tail), code) << tail;
  for (const std::string& call : fake_.files.log)
    EXPECT_EQ(call.rfind("Make", 0), std::string::npos);
  EXPECT_TRUE(fake_.window.events.empty());
  EXPECT_EQ(Run("auto"), kExitOk);
}

}  // namespace
}  // namespace quillet
