// The driver over the fakes: the target folder's placeholders, the order of a run and its
// closing, what ends it early, the report, and the settings check; the report page: its
// sections in their order, what it highlights, that no text from the PC changes it, and its
// screenshot file written whole and its PNG read back by libpng pixel by pixel.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <system_error>

#include "platform/bmp.h"
#include "run/command_line.h"
#include "run/report_html.h"
#include "run/settings_check.h"
#include "run/verify_archive.h"
#include "tests/fakes/fakes.h"
#include "tests/support/files_and_zips.h"

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
  fake_.files.AddFile("C:\\Temp\\Archives\\Log\\left.log");  // An earlier run's, packed too.
  ASSERT_EQ(Run("x"), kExitOk);
  EXPECT_EQ(fake_.files.List("C:\\Temp\\Archives"),
            (Names{"1-03.01.27-09.05.07.Zip", "4-x.Zip", "9f"}));
  const Names resisted = {"Can not delete 9f", "Can not copy 4-x.Zip"};
  EXPECT_EQ(fake_.files.Content("C:\\Tools\\test.log"),
            "a.log\r\n" + resisted[0] + "\r\n" + resisted[1] + "\r\n");
  EXPECT_EQ(fake_.window.With("Message:"), Names{});
  EXPECT_EQ(fake_.window.With("Error:"),
            (Names{resisted[0], resisted[1],
                   "1 file was left in C:\\Temp\\Archives\\Log by an earlier run that made no "
                   "archive; they are packed too."}));
  // Without a packer no archive is made: nothing says OK, no listed log is deleted, and the
  // report left in the staging folder tells that the screen could not be captured.
  fake_.WriteSettings("[DeleteFilesXP]\n1=D:\\Logs\\old.log\n", "Report=true\n");
  fake_.files.DeleteFile("C:\\MorvaTools\\Quillet\\Zip.exe");
  fake_.desktop.no_screen = true;
  EXPECT_EQ(Run("x"), kExitNoArchive);
  EXPECT_TRUE(fake_.files.Exists("D:\\Logs\\old.log"));
  EXPECT_EQ(fake_.window.With("Error:").back().rfind("No archive was made: the packer ", 0), 0u);
  EXPECT_EQ(fake_.window.With("Label:").back(), "No archive was made");
  EXPECT_EQ(fake_.window.With("Label:OK").size(), 1u);  // The first run's alone.
  const nlohmann::json json =
      nlohmann::json::parse(fake_.files.Content("T:\\Target\\Log\\Quillet-Report.json"));
  EXPECT_EQ(json["steps"][1], nlohmann::json::parse(R"({"name": "CaptureScreen",
      "status": "failed", "duration_ms": 250})"));
  EXPECT_NE(fake_.files.Content("T:\\Target\\Log\\Quillet-Report.html")
                .find("<p class=\"bad\">No screenshot was taken.</p>"),
            std::string::npos);
  fake_.files.FailOn("OpenText", "TASK.BAT");  // Without its batch file no process list is made.
  EXPECT_EQ(Run("x"), kExitRunError);
  // A TargetPath that expands to nothing names no folder: the run would clear, rotate and stage
  // at the drive's root.
  fake_.files.Heal();
  fake_.files.AddFile("C:\\Tools\\quillet.ini", "[Project]\nTargetPath=$$\n");
  EXPECT_EQ(Run("x"), kExitRunError);
  EXPECT_EQ(fake_.window.With("Error:").back(),
            "The key TargetPath in section [Project] of the settings file C:\\Tools\\quillet.ini "
            "expands to nothing, so it names no folder.");
}

TEST_F(RunTest, TheArchiveCarriesAReportTheSettingsAndTheJournalWhenAskedFor) {
  fake_.WriteSettings(
      "[LogFilesXP]\n1=D:\\Logs\\*.log\n2=D:\\None\\*.log\n[StartExeFilesXP]\n1=C:\\none.exe\n3=C:"
      "\\later.exe\n"
      "[DeleteFilesXP]\n1=D:\\Logs\\a.*\n2=D:\\Logs\\old*.log\n",
      "Report=True\nMinFreeMB=1\nProgramTimeout=soon\n");
  // Windows' search matches this file by its short name OLD_AL~1.LOG, which no list means.
  fake_.files.AddFile("D:\\Logs\\old_alarm.logx");
  fake_.files.short_names["old_alarm.logx"] = "OLD_AL~1.LOG";
  fake_.files.AddFile("D:\\Logs\\a.log", "a", {2026, 1, 2, 3, 4, 5, 60});
  fake_.files.AddFile("T:\\Target\\Log\\earlier.log", "x", {2025, 12, 31, 23, 59, 58});
  FillDirVariables(&context_.variables);  // Each directory variable as the environment gives it.
  for (const DirVariable& variable : context_.variables.entries)
    fake_.environment.variables[variable.name] = Upper(variable.value);
  fake_.files.AddFile("T:\\Target\\Log\\Quillet-Settings.ini", "from an earlier run");
  fake_.files.AddFile("T:\\Target\\Log\\old.log", "stale");  // Moves aside for the fresh copy.
  fake_.files.AddFile("T:\\Target\\9-x.Zip");                // Held by a reader: slot 9 stays.
  fake_.files.HoldOpen("T:\\Target\\9-x.Zip", true);
  std::string report, settings, page;
  Names staged;
  fake_.PackerMakesArchives([&] {
    report = fake_.files.Content("T:\\Target\\Log\\Quillet-Report.json");
    staged = fake_.files.List("T:\\Target\\Log");
    settings = fake_.files.Content("T:\\Target\\Log\\Quillet-Settings.ini");
    page = fake_.files.Content("T:\\Target\\Log\\Quillet-Report.html");
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
  // --verify takes the archive quoted, as Windows passes it, and names what is damaged or missing.
  EXPECT_EQ(Run("--verify \"T:\\Target\\1-03.01.27-09.05.07.Zip\""), kExitOk);
  EXPECT_EQ(Run("--verify \"\""), kExitUsage);          // An empty name, quoted, names no archive.
  nlohmann::json told = nlohmann::json::parse(report);  // The program ran and ended with 3.
  told["start_programs"][0].update({{"found", true}, {"started", true}, {"exit_code", 3}});
  auto broken = testing::fake_detail::StoredZip({{"a.log", "a"}, {kReportName, told.dump()}});
  broken[35] = 'b';  // The data of a.log.
  fake_.files.AddFile("T:\\Broken.Zip", broken);
  std::ostringstream out;
  EXPECT_EQ(VerifyArchive(fake_.files, "T:\\Broken.Zip", out), kExitNoArchive);
  for (const char* line :
       {"Computer: HMI-PC\n", "\nDAMAGED: a.log (", "\nMISSING: Screen.bmp (",
        "\nNOT WHOLE: 1 of 2 files damaged, 5 missing.\n", "; 6 problems, the first"})
    EXPECT_NE(out.str().find(line), std::string::npos) << line << out.str();
  std::ostringstream not_zip;  // Says why.
  EXPECT_EQ(VerifyArchive(fake_.files, "C:\\Tools\\quillet.ini", not_zip), kExitNoArchive);
  EXPECT_NE(not_zip.str().find(": no end of central directory record.\n"), std::string::npos);
  EXPECT_EQ(VerifyArchive(fake_.files, "T:\\None.Zip", out), kExitRunError);
  // A damaged report is not believed, though it still reads as a report.
  std::string unsure = testing::fake_detail::StoredZip({{kReportName, told.dump()}});
  unsure[61] ^= 1;  // A digit of the archive's name, the report's first value.
  fake_.files.AddFile("T:\\Unsure.Zip", unsure);
  std::ostringstream unread;
  EXPECT_EQ(VerifyArchive(fake_.files, "T:\\Unsure.Zip", unread), kExitNoArchive);
  EXPECT_NE(unread.str().find("holds no readable Quillet-Report.json"), std::string::npos);
  // A report of another version, without the lists, names what it holds.
  fake_.files.AddFile("T:\\Bare.Zip", testing::fake_detail::StoredZip({{kReportName, "{}"}}));
  EXPECT_EQ(VerifyArchive(fake_.files, "T:\\Bare.Zip", unread), kExitOk);
  for (const char* part : {"Quillet-Journal.txt</td><td>written", "a.log: deleted once the"})
    EXPECT_NE(page.find(part), std::string::npos) << part;  // As the run filled its page.
  EXPECT_EQ(fake_.window.With("Label:"),
            (Names{"Ignored ProgramTimeout=soon (not a whole number)", "Taskmanager", "Exe",
                   "Reading Windows", "DebugWin", "Copying Logs LogFilesXP",
                   "Copying Logs LogFilesVW", "Zipping Logs", "Deleting Logs", "OK"}));
  // The run ends in front of every window, with its closing message.
  EXPECT_EQ(Names(e.end() - 6, e.end() - 1),
            (Names{"Front", "Hide", "Label:OK", "Yield", "Place:0,0,398,87"}));
  // Every field as this run filled it; a program, the debug window and a log entry failed, and an
  // earlier run's old.log moved aside for the fresh copy.
  EXPECT_EQ(nlohmann::json::parse(report), nlohmann::json::parse(R"({
    "program": {"name": "Quillet", "version": "1.0.0"}, "computer": "HMI-PC",
    "start_time": "2027-03-01T09:05:07", "start_time_utc_offset": "-05:30",
    "end_time": "2027-03-01T09:05:07", "end_time_utc_offset": "-05:30",
    "system": {"version": "Windows NT 6.1 build 7601", "os_tag": "XP", "hmi_tag": "VW"},
    "settings_file": "C:\\Tools\\quillet.ini", "target_path": "T:\\Target",
    "archive": "1-03.01.27-09.05.07.Zip", "directory_variables": {"WinDir": "C:\\WINNT",
    "MorvaToolsDir": "C:\\MORVATOOLS", "MorvaDCSDir": "C:\\MORVADCS", "VisuDir": "C:\\PANTRA",
    "ServicePackDir": "C:\\SERVICEPACKS", "VisiWinDir": "C:\\VISIWIN",
    "Computer_Ini": "C:\\COMPUTER.INI", "Software_Txt": "C:\\SOFTWARE.TXT",
    "ServicePack_Log": "C:\\MORVASERVICEPACK.LOG",
    "AllUsersProfile": "C:\\DOCUMENTS AND SETTINGS\\ALL USERS", "BrandChangeDir": "C:\\BRANDCHANGE",
    "TempVisu": "C:\\TEMP"}, "steps": [{"name": "PrepareTarget", "status": "done",
    "duration_ms": 0}, {"name": "CaptureScreen", "status": "done", "duration_ms": 250},
    {"name": "WriteTaskBatch", "status": "done", "duration_ms": 0}, {"name": "RunStartPrograms",
    "status": "failed", "duration_ms": 0}, {"name": "ReadWindowList", "status": "done",
    "duration_ms": 0}, {"name": "SaveDebugWindow", "status": "failed", "duration_ms": 0},
    {"name": "CollectLogFiles LogFilesXP", "status": "failed", "duration_ms": 0},
    {"name": "CollectLogFiles LogFilesVW", "status": "done", "duration_ms": 0}, {"name": "PackLogs",
    "status": "pending", "duration_ms": 0}, {"name": "DeleteListedFiles", "status": "pending",
    "duration_ms": 0}], "start_programs": [{"command_line": "C:\\none.exe", "found": false,
    "started": false, "exit_code": null, "duration_ms": 0, "timed_out": false}],
    "log_patterns": [{"section": "LogFilesXP", "entry": "D:\\Logs\\*.log",
    "pattern": "D:\\Logs\\*.log", "matches": 2, "failures": []}, {"section": "LogFilesXP",
    "entry": "D:\\None\\*.log", "pattern": "D:\\None\\*.log", "matches": 0,
    "failures": [{"file": "D:\\None\\*.log", "error": "folder not found"}]}],
    "staged_files": [{"source": "D:\\Logs\\a.log", "name": "a.log", "size": 1,
    "modified": "2026-01-02T03:04:05", "modified_utc_offset": "+01:00", "crc32": "e8b7be43"},
    {"source": "D:\\Logs\\old.log", "name": "old.log", "size": 3, "modified": "2026-01-02T03:04:05",
    "modified_utc_offset": "+00:00", "crc32": "3f5dd4e5"}, {"source": "", "name": "earlier.log",
    "size": 1, "modified": "2025-12-31T23:59:58", "modified_utc_offset": "+00:00",
    "crc32": "8cdc1683", "earlier_run": true}, {"source": "", "name": "old (2).log", "size": 5,
    "modified": "2026-01-02T03:04:05", "modified_utc_offset": "+00:00", "crc32": "21884aa2",
    "earlier_run": true}, {"source": "", "name": "Quillet-Settings (2).ini", "size": 19,
    "modified": "2026-01-02T03:04:05", "modified_utc_offset": "+00:00", "crc32": "9c0cac56",
    "earlier_run": true}, {"source": "", "name": "Screen.bmp", "size": 10,
    "modified": "2026-01-02T03:04:05", "modified_utc_offset": "+00:00", "crc32": "764179ea"}],
    "delete_patterns": [{"section": "DeleteFilesXP", "entry": "D:\\Logs\\a.*",
    "pattern": "D:\\Logs\\a.*"}, {"section": "DeleteFilesXP", "entry": "D:\\Logs\\old*.log",
    "pattern": "D:\\Logs\\old*.log"}], "screenshot": "direct", "debug_window": {"found": false,
    "first_click_sent": false, "second_click_sent": false}})"));
  EXPECT_FALSE(fake_.files.Exists("D:\\Logs\\a.log") || fake_.files.Exists("D:\\Logs\\old.log"));
  EXPECT_TRUE(fake_.files.Exists("D:\\Logs\\old_alarm.logx"));
  const std::string journal = fake_.files.Content("C:\\Tools\\test.log"), passed = "Passed over:";
  EXPECT_NE(journal.find(passed), journal.rfind(passed)) << journal;  // Collection and deletion.
  // Whoever started the run reads each warning in a box of its own, then the closing message.
  const Names boxes = fake_.window.With("Message:");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0], "Can not delete 9-x.Zip");
  EXPECT_NE(boxes[1].find(". 3 files were left in"), std::string::npos);
  // The pauses of the screenshot, the settings warning, five tries at slot 9 and the closing.
  EXPECT_EQ(fake_.clock.slept_ms, 250 + 1500 + 5 * 100 + 100);
}

TEST_F(RunTest, SettingsCheckNamesEveryProblemThatWouldBreakARunAndOptionsChangeNothing) {
  struct Case {
    std::string ini;
    std::string visu_dir;  // The environment's VisuDir; "" for the default.
    int code;
    std::vector<std::string> lines;  // Each must appear in the output.
  };
  // The first case also names an administrative share, whose "$" signs hold no placeholder.
  const Case cases[] = {
      {"[Project]\nTargetPath=Q:\\No\\Target\nProgramTimeout=2min\nProgramTimout=30\n"
       "MinFreeMB=1 GB\nReport=yes\nColor=blue\n[LogFilesPW]\n1=D:\\Logs\\*.log\n"
       "[StartExeFilesXP]\n1=$VisuDir$\\Task.bat\n2=C:\\Pantra\n"
       "3=\"C:\\Program Files\\Vendor\\dump.exe\" -q\n4=C:\\Program Files\\Vendor\\dump.exe\n"
       "9=C:\\x.exe\nNote=x\n01=x\n[LogFilesXP]\n1=$VisuDirr$Old$\\*.log\n2=$VisuDir$\\Task.log\n"
       "3=$TempVisu$\\x\n4=D:\\Logs\\old.log\n5=$VisuDir$\\Log\n6=$VisuDir$\\Log\\\n"
       "7=D:\\Logs\\later.log\n8=D:\\Logs\\*.txt\n9=$VisuDir$\\Task.log\n10=\\\\HMI\\C$\\x$.log\n"
       "[DeleteFilesXP]\n1=D:\\Logs\\*.log\n2=$VisuDir$\\Log\n[PROJECT]\nReport=true\n"
       "[DeleteFilesNT]\n2=x\n",
       "",
       kExitCheckFailed,
       {"PROBLEM: TargetPath Q:\\No\\Target cannot be used: neither",
        "[Project] Color= is no key Quillet reads\n",  // Four letters from Report=: no hint.
        "PROBLEM: [Project] ProgramTimeout=2min is not a whole number",
        "\n23 problems found.\n",
        "  ProgramTimeout = 0 (no time limit)\n",
        "(did you mean ProgramTimeout=?)",
        "MinFreeMB=1 GB is not a whole number (write digits only), so it counts as off: no free",
        "PROBLEM: program C:\\Pantra NOT FOUND",
        "PROBLEM: [Project] Report=yes is neither true nor false, so it counts as off",
        "PROBLEM: [LogFilesPW] is no section Quillet reads (did you mean [LogFilesVW]?)",
        "PROBLEM: [StartExeFilesXP] 9= is never read: the list ends after key 4",
        "PROBLEM: [StartExeFilesXP] Note= is never read",
        "[StartExeFilesXP] 01= is never read",
        "PROBLEM: the PStatXP.exe of the run is missing: C:\\MorvaTools\\Quillet\\PStatXP.exe",
        "Directory variables:\n  $WinDir$ = C:\\WinNt\n",
        "  $TempVisu$ = $TempVisu$\\Temp\nBatch file: ",
        "program C:\\Pantra\\Task.bat is written by each run",
        "old.log\n    matches 1 file\n",
        "PROBLEM: program path \"C:\\Program Files\\Vendor\\dump.exe\" is quoted, but a run",
        "quotes included, as the program (\"C:\\Program), so it starts nothing; start it from a "
        "batch file",
        "PROBLEM: program path C:\\Program Files\\Vendor\\dump.exe holds a blank: a run",
        "takes only the text before the first blank (C:\\Program) as the program",
        "PROBLEM: unknown placeholder $VisuDirr$",
        "PROBLEM: The placeholder $TempVisu$ keeps",
        "PROBLEM: $VisuDir$\\Log names a folder, but an entry names files, so it collects "
        "nothing; write $VisuDir$\\Log\\*.* to",
        "PROBLEM: $VisuDir$\\Log\\ names a folder, but an entry names files, so it collects "
        "nothing; write $VisuDir$\\Log\\*.* to",
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
      {"[Project]\nTargetPath=Archives\n[StartExeFilesXP]\n1=C:\\No Such Tool.exe -q\n",
       "C:\\HMI Visu",
       kExitCheckFailed,
       {"PROBLEM: TargetPath Archives is a relative path",
        "PROBLEM: the folder C:\\HMI Visu ($VisuDir$) takes no new file",
        "PROBLEM: the folder C:\\HMI Visu ($VisuDir$) holds a blank",
        "PROBLEM: program C:\\No NOT FOUND", "\n5 problems found.\n"}},
      {"[Project]\nTargetPath=D:/Logs\n",
       "",
       kExitCheckFailed,
       {"[LogFilesXP]\n  (empty)\n", "\n1 problem found.\n"}},
  };
  for (const Case& c : cases) {
    testing::FakePlatform fake;
    RunContext context;
    context.platform = fake.platform;
    SetProgramLocation("C:\\Tools\\quillet.exe", &context);
    for (const char* file : {"D:\\Logs\\a.log", "D:\\Logs\\old.log", "D:\\Logs\\notes.txtx",
                             "C:\\Program Files\\Vendor\\dump.exe", "C:\\Pantra\\Log\\x",
                             "C:\\HMI Visu\\x", "\\\\HMI\\C$\\x$.log"})
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
      EXPECT_TRUE(std::regex_search(call, std::regex("^(Stat|List|CanCreateIn) "))) << call;
  }
  // Options work as Windows writes them too; one mistyped, or among other words, is refused and
  // changes nothing, while any other word asks for an unattended run.
  fake_.WriteSettings("");
  for (const char* refused : {"--chek", "/hlep", "--check now"}) EXPECT_EQ(Run(refused), 2);
  EXPECT_EQ(Run("/CHECK"), kExitCheckFailed);
  for (const char* option : {"/Version", "--HELP  ", "-h", "-?", "/?"}) {
    ::testing::internal::CaptureStdout();  // Where a technician reads the help and the version.
    EXPECT_EQ(Run(option), 0) << option;
    const std::string text = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(text.find(option[1] == 'V' ? "Quillet 1." : "Exit codes:"), std::string::npos);
  }
  for (const std::string& call : fake_.files.log)
    EXPECT_EQ(call.rfind("Make", 0), std::string::npos);
  EXPECT_TRUE(fake_.window.events.empty());
  EXPECT_EQ(Run("-h123"), kExitOk);  // Three letters away from -h.
}

// The pixels of `png` as libpng reads them, which also checks every chunk's CRC-32 and the
// stream's end; "" unless it is an 8-bit RGB picture of `width` by `height`, read without a word.
std::string Decode(const std::string& png, png_uint_32 width, png_uint_32 height) {
  // libpng's simplified reader does not require the closing IEND chunk, so it is checked here.
  EXPECT_EQ(png.size() < 12 ? png : png.substr(png.size() - 12),
            std::string("\0\0\0\0IEND\xae\x42\x60\x82", 12));
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  std::string pixels;
  if (png_image_begin_read_from_memory(&image, png.data(), png.size()) &&
      image.format == PNG_FORMAT_RGB && image.width == width && image.height == height) {
    pixels.resize(PNG_IMAGE_SIZE(image));
    png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr);
  }
  const bool clean = image.warning_or_error == 0;
  EXPECT_TRUE(clean) << image.message;
  png_image_free(&image);
  return clean ? pixels : "";
}

TEST_F(RunTest, TheScreenshotIsWrittenWholeAndBecomesAPngOfItsPixelsAtItsSize) {
  // Two rows of three pixels, stored bottom row first in blue, green, red, each row padded.
  const std::vector<std::uint8_t> bmp_rows = {1,  2,  3,  4,  5,  6,  7,  8,  9,  0, 0, 0,
                                              10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0};
  const std::string path = ::testing::TempDir() + "/quillet-report-test.bmp";
  // Every header field, also where sizes pass 16 bits: sizes, the pixels' offset, 24 bits,
  // 96 dpi; then the pixels as given.
  using testing::fake_detail::Le;
  for (const auto& [width, height] : {std::pair{70000, 1}, {1, 70000}, {3, 2}}) {
    const std::vector<std::uint8_t> rows =
        width == 3 ? bmp_rows : std::vector<std::uint8_t>(BmpStride(width) * height, 9);
    ASSERT_FALSE(WriteBmp(path, width, height, rows));
    EXPECT_EQ(test_support::ReadAll(path),
              "BM" + Le(54 + rows.size(), 4) + Le(0, 4) + Le(54, 4) + Le(40, 4) + Le(width, 4) +
                  Le(height, 4) + Le(1, 2) + Le(24, 2) + Le(0, 4) + Le(rows.size(), 4) +
                  Le(3780, 4) + Le(3780, 4) + Le(0, 8) + std::string(rows.begin(), rows.end()));
  }
  const std::string bmp = test_support::ReadAll(path);
  // A picture without pixels is refused; one as wide or tall as the largest screen is shown, one
  // a pixel wider or taller is no screenshot.
  for (const auto& [width, height] : {std::pair{0, 3}, {3, 0}})
    EXPECT_TRUE(WriteBmp(path + "0", width, height, {}));
  constexpr int kSide = 1 << 15;
  for (const auto& [width, height] :
       {std::pair{kSide, 1}, {1, kSide}, {kSide + 1, 1}, {1, kSide + 1}}) {
    ASSERT_FALSE(
        WriteBmp(path + "0", width, height, std::vector<std::uint8_t>(BmpStride(width) * height)));
    fake_.files.AddFile("T:\\Max.bmp", test_support::ReadAll(path + "0"));
    EXPECT_EQ(ScreenshotPicture(fake_.files, "T:\\Max.bmp").png != "", width + height == kSide + 1)
        << width;
  }
  // A disk that takes only part of the picture, or a folder in its way, keeps no temporary file;
  // a folder in the temporary file's way fails the picture too.
  EXPECT_TRUE(test_support::Limited(RLIMIT_FSIZE, 40,
                                    [&] { return WriteBmp(path + "2", 3, 2, bmp_rows); }));
  std::filesystem::create_directories(path + "3/in the way");
  EXPECT_TRUE(WriteBmp(path + "3", 3, 2, bmp_rows));
  for (const char* name : {"2.tmp", "3.tmp"}) EXPECT_FALSE(std::filesystem::exists(path + name));
  std::filesystem::create_directories(path + "4.tmp");
  EXPECT_TRUE(WriteBmp(path + "4", 3, 2, bmp_rows));
  for (const char* name : {"", "0", "2", "3", "4.tmp"}) std::filesystem::remove_all(path + name);
  testing::FakeFiles& files = fake_.files;
  files.AddFile("T:\\Screen.bmp", bmp);
  const PagePicture picture = ScreenshotPicture(files, "T:\\Screen.bmp");
  EXPECT_EQ(picture.width * 10 + picture.height, 32);
  EXPECT_EQ(Decode(picture.png, 3, 2),
            "\x0c\x0b\x0a\x0f\x0e\x0d\x12\x11\x10\x03\x02\x01\x06\x05\x04\x09\x08\x07");
  // Rows from the top down, as the clipboard may give them, make the same picture.
  files.AddFile("T:\\Down.bmp", bmp.substr(0, 22) + Le(0xFFFFFFFE, 4) + bmp.substr(26, 28) +
                                    bmp.substr(66) + bmp.substr(54, 12));
  EXPECT_EQ(ScreenshotPicture(files, "T:\\Down.bmp").png, picture.png);
  // A file of another kind, or whose header promises what it does not hold, gives no picture.
  EXPECT_EQ(ScreenshotPicture(files, "T:\\None.bmp").png, "");
  const std::pair<std::size_t, std::string> damages[] = {
      {0, "P"},        {10, Le(53, 4)}, {10, Le(55, 4)},     {14, Le(39, 4)}, {18, Le(0, 4)},
      {18, Le(-1, 4)}, {18, Le(5, 4)},  {22, Le(0, 4)},      {22, Le(3, 4)},  {26, Le(2, 2)},
      {28, Le(32, 2)}, {30, Le(1, 4)},  {bmp.size() - 1, ""}};
  for (const auto& [at, bytes] : damages) {
    files.AddFile("T:\\Bad.bmp",
                  bmp.substr(0, at) + bytes + (bytes.empty() ? "" : bmp.substr(at + bytes.size())));
    EXPECT_EQ(ScreenshotPicture(files, "T:\\Bad.bmp").png, "") << at << " " << bytes.size();
  }
}

TEST_F(RunTest, TheReportPageTellsTheRunInOrderHighlightsTheProblemsAndEscapesThePcsTexts) {
  ASSERT_FALSE(Configure(context_));
  context_.state.archive_name = "1-01.03.27-09.05.07.Zip";
  RunReport report;
  report.start_time = "2027-03-01T09:05:07";
  report.end_time = "2027-03-01T09:05:09";
  report.steps = {{"CollectLogFiles LogFilesXP", "failed", 1000}, {"PackLogs", "pending", 0}};
  report.programs = {{"C:\\a.exe \"x<y>\" 'z'", false, false, false, 0, 0, false},
                     {"C:\\b.exe", true, true, true, 3, 20, false},
                     {"C:\\c.exe", true, true, false, 0, 5000, true},
                     {"C:\\d.exe", true, true, true, 0, 10, false}};
  const std::string no_space = std::make_error_code(std::errc::no_space_on_device).message();
  const std::string gone = "C:\\V\\gone\\*.log";
  report.log_patterns = {
      {"LogFilesXP", "$VisuDir$\\gone\\*.log", gone, 0, {{gone, "folder not found"}}},
      {"LogFilesXP", "D:\\*.log", "D:\\*.log", 3, {{"D:\\big.log", no_space}}}};
  report.min_free_mb = 5;
  report.staged = {{"D:\\comm<plc>.log", "comm<plc>.log", 1536, {}, 0xe8b7be43, "", false},
                   {"D:\\a & b.log", "a & b (2).log", 5 << 20, {}, 1, "a & b.log before", false},
                   {"", "old.log", ~std::uint64_t{0}, {}, 2, "", true},
                   {"", "Screen.bmp", 3, {}, 4, "", false}};
  report.delete_patterns = {{"DeleteFilesXP", "D:\\*.log", "D:\\*.log", 0, {}}};
  report.planned_deletions = {{{"D:\\comm<plc>.log", true, false},
                               {"D:\\big.log", false, true},
                               {"D:\\x.log", false, false}}};
  report.screenshot = "direct";
  report.screenshot_name = "Screen.bmp";
  report.own_files = {"Quillet-Report.json"};
  const std::string html = RunReportHtml(context_, report, {"PNG!", 1024, 768});

  std::size_t at = 0;
  for (const char* part :
       {"<h1>Quillet report of HMI-PC",
        "HMI-PC</b> &middot; 2027-03-01 09:05:07 to 2027-03-01 09:05:09 &middot; Quillet 1.0",
        "2 files collected, 1 left by an earlier run; 7 problems, the first: The step",
        "What went wrong first",
        "<ul class=\"problems\">",
        "The program C:\\a.exe &quot;x&lt;y&gt;&quot; &#39;z&#39; was not found",
        "C:\\b.exe exited with code 3",
        "C:\\c.exe was ended at the time limit after 5.0 s",
        "$VisuDir$\\gone\\*.log (C:\\V\\gone\\*.log): its folder does not exist",
        "D:\\big.log was not copied: it would have left less than the free-space reserve of 5 MiB",
        "debug window was not found",
        "</ul>",
        "src=\"data:image/png;base64,UE5HIQ==\" width=\"1024\" height=\"768\"",
        "1024 &times; 768 pixels, taken directly;",
        "<h2>Steps",
        "1.0 s, failed",
        "after this page was written",
        "<h2>Start list",
        "<tr class=\"bad\"><td>C:\\b.exe</td>",
        "<tr><td>C:\\d.exe</td>",  // Ended well, so not marked.
        "<h2>Collected files",
        "comm&lt;plc&gt;.log</td><td>D:\\comm&lt;plc&gt;.log",
        "1.5 KiB",
        "e8b7be43",
        "a &amp; b (2).log",
        "5.0 MiB",
        "a &amp; b.log before",
        "16777216.0 TiB",  // The largest size of all has a unit too.
        "<td>yes</td>",
        "Screen.bmp</td><td>written by this run",
        "Quillet-Report.json",
        "<h2>Deletion list",
        "after the archive is sealed",
        "D:\\comm&lt;plc&gt;.log: deleted once",
        "D:\\big.log: kept",
        "D:\\x.log: deleted, though no archive holds it",
        "<h2>Directory variables",
        "$WinDir$",
        "$TempVisu$",
        "XP, ",
        "C:\\Tools\\quillet.ini"}) {
    const std::size_t found = html.find(part, at);
    EXPECT_NE(found, std::string::npos) << part << "\n" << html.substr(at);
    if (found != std::string::npos) at = found;
  }
  for (const char* raw : {"comm<plc>", "a & b", "<y>", "://", "href="})
    EXPECT_EQ(html.find(raw), std::string::npos) << raw;
}

}  // namespace
}  // namespace quillet
