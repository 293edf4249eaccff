// End-to-end tests of quillet.exe under Wine: each test starts the program
// as a separate process in a tree of its own and watches its exit code, its
// output and the windows it shows.
#include <windows.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "run_fixture.h"

namespace quillet_test {
namespace {

constexpr DWORD kExitNoTargetPath = 2;
constexpr int kClientWidth = 392;
constexpr int kClientHeight = 53;
// Complete settings but for the key TargetPath.
constexpr char kSettingsWithoutTarget[] =
    "[Project]\r\nOther=1\r\n[LogFilesXP]\r\n1=$VisuDir$\\*.log\r\n";

class QuilletRunTest : public RunFixture {
 protected:
  // Runs prog\`name`.exe with an argument and checks that it refuses for
  // want of a target folder on standard error, naming its settings file.
  void ExpectRefusedForWantOfTarget(const std::string& name) {
    const std::vector<std::string> before = Snapshot();
    Start("x", {}, name + ".exe");
    EXPECT_EQ(WaitForEnd(), kExitNoTargetPath);
    const std::string error = quillet_.StandardError();
    EXPECT_TRUE(ContainsNoCase(error, Path("prog\\" + name + ".ini"))) << error;
    EXPECT_NE(error.find("TargetPath"), std::string::npos) << error;
    // The run stopped before doing anything: no journal, batch or archive.
    EXPECT_EQ(Snapshot(), before);
  }
};

TEST_F(QuilletRunTest, WithArgumentEndsByItselfWithoutMessage) {
  WriteSettings(kVisuLogSections);
  EXPECT_TRUE(RunSucceeds());
  EXPECT_FALSE(OnlyArchive().empty());
}

TEST_F(QuilletRunTest, WithoutArgumentTellsWhereTheFileWasSaved) {
  WriteSettings(kVisuLogSections);
  Start("");
  HWND box = WaitForBox();
  ASSERT_NE(box, nullptr);
  const std::string text = MessageBoxText(box);
  EXPECT_TRUE(StartsWithNoCase(text, "File saved in " + Path("target") + "\\")) << text;
  EXPECT_EQ(WindowTitle(box), "quillet");
  EXPECT_EQ(text, "File saved in " + Path("target") + "\\" + OnlyArchive());
  CloseBox(box);
  EXPECT_TRUE(EndsWithSuccess());
}

TEST_F(QuilletRunTest, RenamedCopyReadsSettingsOfItsOwnName) {
  Install("other.exe");
  WriteFile("prog\\other.ini", Settings(kVisuLogSections));
  WriteFile("prog\\quillet.ini", kSettingsWithoutTarget);
  EXPECT_TRUE(RunSucceeds("other.exe"));
  EXPECT_FALSE(OnlyArchive().empty());
}

TEST_F(QuilletRunTest, RenamedCopyIgnoresSettingsOfTheOriginalName) {
  Install("other.exe");
  WriteSettings(kVisuLogSections);
  ExpectRefusedForWantOfTarget("other");
}

TEST_F(QuilletRunTest, NoTargetPathWithArgumentReportsOnStandardError) {
  WriteFile("prog\\quillet.ini", kSettingsWithoutTarget);
  ExpectRefusedForWantOfTarget("quillet");
}

TEST_F(QuilletRunTest, MissingSettingsFileWithArgumentReportsOnStandardError) {
  ExpectRefusedForWantOfTarget("quillet");
}

TEST_F(QuilletRunTest, NoTargetPathWithoutArgumentShowsErrorBox) {
  WriteFile("prog\\quillet.ini", kSettingsWithoutTarget);
  const std::vector<std::string> before = Snapshot();
  Start("");
  HWND box = WaitForBox();
  ASSERT_NE(box, nullptr);
  const std::string text = MessageBoxText(box);
  EXPECT_TRUE(ContainsNoCase(text, Path("prog\\quillet.ini"))) << text;
  EXPECT_NE(text.find("TargetPath"), std::string::npos) << text;
  EXPECT_EQ(WindowTitle(box), "quillet");
  // The run stopped before its visible steps, so its window never showed.
  EXPECT_EQ(FindProcessWindow(quillet_.process_id(), "", kStatusCaption), nullptr);
  CloseBox(box);
  EXPECT_EQ(WaitForEnd(), kExitNoTargetPath);
  EXPECT_EQ(quillet_.StandardError(), "");
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(QuilletRunTest, StatusWindowIsTopmostAtOriginWhileClosingMessageShows) {
  WriteSettings(kVisuLogSections);
  Start("");
  HWND box = WaitForBox();
  ASSERT_NE(box, nullptr);
  HWND window = TopmostStatusWindow();
  ASSERT_NE(window, nullptr);
  RECT client = {};
  ASSERT_TRUE(GetClientRect(window, &client));
  EXPECT_EQ(client.right - client.left, kClientWidth);
  EXPECT_EQ(client.bottom - client.top, kClientHeight);
  // A fixed-size window: no sizing border and no maximize box.
  EXPECT_EQ(GetWindowLongA(window, GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);

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
  CloseBox(box);
  EXPECT_TRUE(EndsWithSuccess());
}

TEST_F(QuilletRunTest, CheckAndVersionPrintAndChangeNothing) {
  WriteSettings(kVisuLogSections);
  const std::vector<std::string> before = Snapshot();
  Start("--check");
  EXPECT_TRUE(EndsWithSuccess());
  const std::string output = quillet_.StandardError();
  EXPECT_NE(output.find("Settings file: " + Path("prog\\quillet.ini")), std::string::npos)
      << output;
  EXPECT_NE(output.find("matches 1 file"), std::string::npos) << output;
  EXPECT_EQ(Snapshot(), before);
  Start("--version");
  WaitForEnd();
  EXPECT_EQ(quillet_.StandardError().rfind("Quillet ", 0), 0u) << quillet_.StandardError();
}

}  // namespace
}  // namespace quillet_test
