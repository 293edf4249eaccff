// End-to-end tests of quillet.exe under Wine: each test copies the program
// into a folder of its own, writes its settings file there, starts it as a
// separate process and watches its exit code, its standard error and the
// windows it shows.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "win_test_util.h"

namespace quillet_test {
namespace {

// Long enough for a slow Wine start on a loaded machine, short enough that a
// hanging child fails its test well within the test's own time limit.
constexpr DWORD kTimeoutMs = 60000;

// The status window's caption and client size in pixels.
constexpr char kStatusCaption[] = "Quilletfiles";
constexpr int kClientWidth = 392;
constexpr int kClientHeight = 53;

// The class of every dialog box, message boxes included.
constexpr char kDialogClass[] = "#32770";

// Exit codes of the program.
constexpr DWORD kExitOk = 0;
constexpr DWORD kExitNoTargetPath = 2;

// The program under test: the build passes its Linux path, which an
// environment value may override, e.g. to try another build by hand.
std::string ProgramUnderTest() {
  if (const char* path = std::getenv("QUILLET_E2E_EXE")) {
    if (*path != '\0') return WinePathFromLinux(path);
  }
  return WinePathFromLinux(QUILLET_EXE_PATH);
}

// The tools folder of the build, which holds Quillet\Zip.exe and the
// process listers; the runs under test use it as $MorvaToolsDir$.
std::string ToolsFolder() {
  if (const char* path = std::getenv("QUILLET_E2E_TOOLS_DIR")) {
    if (*path != '\0') return WinePathFromLinux(path);
  }
  return WinePathFromLinux(QUILLET_TOOLS_DIR_PATH);
}

// Each test works in a folder of its own: the program and its settings file
// at the top, the archive folder "target", and "visu" as $VisuDir$, which
// receives the task batch and holds one log file for the run to collect.
class QuilletRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty()) << "no temporary folder";
    target_ = folder_.Join("target");
    visu_ = folder_.Join("visu");
    ASSERT_TRUE(CreateDirectoryA(target_.c_str(), nullptr)) << target_;
    ASSERT_TRUE(CreateDirectoryA(visu_.c_str(), nullptr)) << visu_;
    ASSERT_TRUE(WriteTextFile(visu_ + "\\app.log", "collected\r\n"));
  }

  void TearDown() override {
    // No child may outlive its test, whatever the test's outcome.
    if (child_.running()) {
      ADD_FAILURE() << "the program was still running at the end of the test";
      child_.Terminate();
    }
  }

  // Copies the program under test into the test's folder as `name`.
  void Install(const std::string& name) {
    const std::string source = ProgramUnderTest();
    ASSERT_TRUE(CopyFileA(source.c_str(), folder_.Join(name).c_str(), FALSE))
        << "cannot copy " << source << ", error " << GetLastError();
  }

  void WriteSettings(const std::string& name, const std::string& content) {
    ASSERT_TRUE(WriteTextFile(folder_.Join(name), content)) << folder_.Join(name);
  }

  // A settings file that names the test's target folder and lets the run
  // collect the log file of $VisuDir$ on either system family.
  std::string SettingsWithTarget() const {
    return "[Project]\r\nTargetPath=" + target_ +
           "\r\n"
           "[LogFilesXP]\r\n1=$VisuDir$\\*.log\r\n"
           "[LogFilesNT]\r\n1=$VisuDir$\\*.log\r\n";
  }

  // Settings that lack the key TargetPath but are otherwise complete.
  static std::string SettingsWithoutTarget() {
    return "[Project]\r\nOther=1\r\n[LogFilesXP]\r\n1=$VisuDir$\\*.log\r\n";
  }

  // Starts `program` from the test's folder, with `argument` when not empty.
  // The directory variables that a run writes to point into the test's
  // folder, so that a run touches nothing outside it.
  void Start(const std::string& program, const std::string& argument) {
    std::string command_line = "\"" + folder_.Join(program) + "\"";
    if (!argument.empty()) command_line += " " + argument;
    const std::vector<std::string> environment = {
        "VisuDir=" + visu_,
        "MorvaToolsDir=" + ToolsFolder(),
        "TempVisu=" + folder_.Join("temp"),
    };
    ASSERT_TRUE(child_.Start(command_line, folder_.path(), environment)) << child_.error();
  }

  // Waits for the unattended child to end by itself; a dialog box on the way
  // fails the test at once, since nobody would be there to close it.
  void ExpectEndsWithoutDialog() {
    bool saw_dialog = false;
    const bool ended = child_.WaitWithoutDialog(kTimeoutMs, &saw_dialog);
    if (saw_dialog) {
      HWND box = FindProcessWindow(child_.process_id(), kDialogClass, "");
      ADD_FAILURE() << "the program showed a dialog: \""
                    << (box != nullptr ? MessageBoxText(box) : std::string()) << "\"";
    } else if (!ended) {
      ADD_FAILURE() << "the program did not end within " << kTimeoutMs << " ms";
    }
    child_.Terminate();
  }

  // Waits for the child's message box; nullptr (with a failure) when none
  // came in time.
  HWND WaitForMessageBox() {
    HWND box =
        WaitForProcessWindow(child_.handle(), child_.process_id(), kDialogClass, "", kTimeoutMs);
    if (box == nullptr) {
      ADD_FAILURE() << "no message box appeared; the program "
                    << (child_.running() ? "is still running"
                                         : "ended with code " + std::to_string(child_.exit_code()))
                    << "; standard error: " << child_.StandardError();
    }
    return box;
  }

  // Presses OK and waits for the child to end then.
  void CloseBoxAndWait(HWND box) {
    PressOk(box);
    EXPECT_TRUE(child_.Wait(kTimeoutMs)) << "the program did not end after OK";
    child_.Terminate();
  }

  // Everything in the test's folders, to show that a run changed nothing.
  std::vector<std::string> Snapshot() const {
    std::vector<std::string> names;
    for (const char* sub : {"", "target", "visu"}) {
      const std::string folder = *sub == '\0' ? folder_.path() : folder_.Join(sub);
      for (const std::string& name : ListFolder(folder)) {
        names.push_back(std::string(sub) + "/" + name);
      }
    }
    return names;
  }

  // The single archive in the target folder, "" (with a failure) otherwise.
  std::string OnlyArchive() const {
    const std::vector<std::string> names = ListFolder(target_);
    if (names.size() != 1 || !StartsWithNoCase(names[0], "1-") || names[0].size() < 4 ||
        names[0].substr(names[0].size() - 4) != ".Zip") {
      std::string listing;
      for (const std::string& name : names) listing += " " + name;
      ADD_FAILURE() << "expected one archive 1-*.Zip in the target folder, found:" << listing;
      return "";
    }
    return names[0];
  }

  TempFolder folder_;
  std::string target_;
  std::string visu_;
  ChildProcess child_;
};

TEST_F(QuilletRunTest, WithArgumentEndsByItselfWithoutMessage) {
  Install("quillet.exe");
  WriteSettings("quillet.ini", SettingsWithTarget());
  Start("quillet.exe", "x");
  ExpectEndsWithoutDialog();
  EXPECT_EQ(child_.exit_code(), kExitOk) << "standard error: " << child_.StandardError();
  EXPECT_FALSE(OnlyArchive().empty());
}

TEST_F(QuilletRunTest, WithoutArgumentTellsWhereTheFileWasSaved) {
  Install("quillet.exe");
  WriteSettings("quillet.ini", SettingsWithTarget());
  Start("quillet.exe", "");
  HWND box = WaitForMessageBox();
  ASSERT_NE(box, nullptr);
  const std::string text = MessageBoxText(box);
  EXPECT_TRUE(StartsWithNoCase(text, "File saved in " + target_ + "\\")) << text;
  EXPECT_EQ(WindowTitle(box), "quillet");
  const std::string archive = OnlyArchive();
  EXPECT_EQ(text, "File saved in " + target_ + "\\" + archive);
  CloseBoxAndWait(box);
  EXPECT_EQ(child_.exit_code(), kExitOk);
}

TEST_F(QuilletRunTest, RenamedCopyReadsSettingsOfItsOwnName) {
  Install("other.exe");
  WriteSettings("other.ini", SettingsWithTarget());
  WriteSettings("quillet.ini", SettingsWithoutTarget());
  Start("other.exe", "x");
  ExpectEndsWithoutDialog();
  EXPECT_EQ(child_.exit_code(), kExitOk) << "standard error: " << child_.StandardError();
  EXPECT_FALSE(OnlyArchive().empty());
}

TEST_F(QuilletRunTest, RenamedCopyIgnoresSettingsOfTheOriginalName) {
  Install("other.exe");
  WriteSettings("quillet.ini", SettingsWithTarget());
  const std::vector<std::string> before = Snapshot();
  Start("other.exe", "x");
  ExpectEndsWithoutDialog();
  EXPECT_EQ(child_.exit_code(), kExitNoTargetPath);
  const std::string error = child_.StandardError();
  EXPECT_TRUE(ContainsNoCase(error, folder_.Join("other.ini"))) << error;
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(QuilletRunTest, NoTargetPathWithArgumentReportsOnStandardError) {
  Install("quillet.exe");
  WriteSettings("quillet.ini", SettingsWithoutTarget());
  const std::vector<std::string> before = Snapshot();
  Start("quillet.exe", "x");
  ExpectEndsWithoutDialog();
  EXPECT_EQ(child_.exit_code(), kExitNoTargetPath);
  const std::string error = child_.StandardError();
  EXPECT_TRUE(ContainsNoCase(error, folder_.Join("quillet.ini"))) << error;
  EXPECT_NE(error.find("TargetPath"), std::string::npos) << error;
  // The run stopped before doing anything: no journal, batch or archive.
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(QuilletRunTest, MissingSettingsFileWithArgumentReportsOnStandardError) {
  Install("quillet.exe");
  const std::vector<std::string> before = Snapshot();
  Start("quillet.exe", "x");
  ExpectEndsWithoutDialog();
  EXPECT_EQ(child_.exit_code(), kExitNoTargetPath);
  const std::string error = child_.StandardError();
  EXPECT_TRUE(ContainsNoCase(error, folder_.Join("quillet.ini"))) << error;
  EXPECT_NE(error.find("TargetPath"), std::string::npos) << error;
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(QuilletRunTest, NoTargetPathWithoutArgumentShowsErrorBox) {
  Install("quillet.exe");
  WriteSettings("quillet.ini", SettingsWithoutTarget());
  const std::vector<std::string> before = Snapshot();
  Start("quillet.exe", "");
  HWND box = WaitForMessageBox();
  ASSERT_NE(box, nullptr);
  const std::string text = MessageBoxText(box);
  EXPECT_TRUE(ContainsNoCase(text, folder_.Join("quillet.ini"))) << text;
  EXPECT_NE(text.find("TargetPath"), std::string::npos) << text;
  EXPECT_EQ(WindowTitle(box), "quillet");
  // The run stopped before its visible steps, so its window never showed.
  EXPECT_EQ(FindProcessWindow(child_.process_id(), "", kStatusCaption), nullptr);
  CloseBoxAndWait(box);
  EXPECT_EQ(child_.exit_code(), kExitNoTargetPath);
  EXPECT_EQ(child_.StandardError(), "");
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(QuilletRunTest, StatusWindowIsTopmostAtOriginWhileClosingMessageShows) {
  Install("quillet.exe");
  WriteSettings("quillet.ini", SettingsWithTarget());
  Start("quillet.exe", "");
  HWND box = WaitForMessageBox();
  ASSERT_NE(box, nullptr);

  HWND window = FindProcessWindow(child_.process_id(), "", kStatusCaption);
  ASSERT_NE(window, nullptr) << "no visible window titled " << kStatusCaption;
  EXPECT_TRUE(IsWindowVisible(window));
  RECT client = {};
  ASSERT_TRUE(GetClientRect(window, &client));
  EXPECT_EQ(client.right - client.left, kClientWidth);
  EXPECT_EQ(client.bottom - client.top, kClientHeight);
  RECT outer = {};
  ASSERT_TRUE(GetWindowRect(window, &outer));
  EXPECT_EQ(outer.left, 0);
  EXPECT_EQ(outer.top, 0);
  EXPECT_NE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  // A fixed-size window: no sizing border and no maximize box.
  const LONG style = GetWindowLongA(window, GWL_STYLE);
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);

  // The label's last text, read by the system without asking the child.
  HWND label = FindWindowExA(window, nullptr, "Static", nullptr);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(WindowTitle(label), "OK");
  RECT label_rect = {};
  ASSERT_TRUE(GetWindowRect(label, &label_rect));
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&label_rect), 2);
  EXPECT_EQ(label_rect.left, 4);
  EXPECT_EQ(label_rect.top, 4);
  EXPECT_EQ(label_rect.right - label_rect.left, 384);
  EXPECT_EQ(label_rect.bottom - label_rect.top, 40);

  // Light grey both on the form beside the label and on the label's own
  // background, away from its short text. A pixel that another window (the
  // message box) covers cannot be judged and is skipped.
  for (POINT point : {POINT{390, 50}, POINT{380, 38}}) {
    ClientToScreen(window, &point);
    const COLORREF color = ScreenPixelOf(window, point);
    if (color == CLR_INVALID) continue;
    EXPECT_EQ(color, RGB(192, 192, 192)) << "at screen point " << point.x << "," << point.y;
  }

  CloseBoxAndWait(box);
  EXPECT_EQ(child_.exit_code(), kExitOk);
}

TEST_F(QuilletRunTest, CheckAndVersionPrintAndChangeNothing) {
  Install("quillet.exe");
  WriteSettings("quillet.ini", SettingsWithTarget());
  const std::vector<std::string> before = Snapshot();
  Start("quillet.exe", "--check");
  ExpectEndsWithoutDialog();
  EXPECT_EQ(child_.exit_code(), kExitOk);
  const std::string output = child_.StandardError();
  EXPECT_NE(output.find("Settings file: " + folder_.Join("quillet.ini")), std::string::npos)
      << output;
  EXPECT_NE(output.find("matches 1 file"), std::string::npos) << output;
  EXPECT_EQ(Snapshot(), before);
  Start("quillet.exe", "--version");
  ExpectEndsWithoutDialog();
  EXPECT_EQ(child_.StandardError().rfind("Quillet ", 0), 0u) << child_.StandardError();
}

}  // namespace
}  // namespace quillet_test
