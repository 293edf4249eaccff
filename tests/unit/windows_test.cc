#include <gtest/gtest.h>

#include "collect/capture_screen.h"
#include "tests/unit/fakes.h"
#include "windows/debug_window.h"
#include "windows/mouse.h"
#include "windows/window_list.h"

namespace quillet {
namespace {

using Calls = std::vector<std::string>;
constexpr WindowHandle kStatus = 0x100;  // The fake status window's handle.

class WindowsTest : public ::testing::Test {
 protected:
  void Desktop(const std::vector<testing::FakeDesktop::Window>& windows) {
    run_.desktop.z_order = windows;
  }
  std::string Title(int i) const {
    const std::string& t = run_.context.state.window_list[static_cast<std::size_t>(i - 1)].title;
    return t.substr(0, t.find_last_not_of(' ') + 1);
  }
  testing::FakeRun run_;
};

TEST_F(WindowsTest, InventoryWalksDownThenUpNearestFirst) {
  Desktop({{1, "Top", {}},
           {2, "", {}},
           {3, "Near above", {}},
           {kStatus, "Quilletfiles", {}},
           {4, "DebugWindow Log", {}},
           {5, "", {}},
           {6, "Far below", {}}});
  ReadWindowList(run_.context);
  ASSERT_EQ(run_.context.state.window_count, 5);
  EXPECT_EQ(Title(1), "DEBUGWINDOW LOG");
  EXPECT_EQ(Title(2), "FAR BELOW");
  EXPECT_EQ(Title(3), "NEAR ABOVE");
  EXPECT_EQ(Title(4), "TOP");
  EXPECT_EQ(run_.context.state.window_list[0].title.size(), 255u);
  EXPECT_EQ(run_.context.state.window_list[0].handle, 4u);
  EXPECT_EQ(run_.window.Labels(), Calls{"Reading Windows"});
}

TEST_F(WindowsTest, TitlesAreCutAt253AndTheTableAt1000) {
  std::vector<testing::FakeDesktop::Window> windows = {{kStatus, "", {}}};
  for (WindowHandle h = 1001; h <= 2200; ++h) windows.push_back({h, std::string(300, 'a'), {}});
  Desktop(windows);
  ReadWindowList(run_.context);
  EXPECT_EQ(run_.context.state.window_count, 1001);
  EXPECT_EQ(run_.context.state.window_list[999].handle, 2000u);
  EXPECT_EQ(run_.context.state.window_list[0].title, std::string(253, 'A') + "  ");
}

TEST(MouseTest, ConvertsPixelsWithHalvesToEven) {
  testing::FakeDesktop desktop;
  EXPECT_EQ(ToMouseX(desktop, 0), 0);
  EXPECT_EQ(ToMouseX(desktop, 1024), 65535);
  MouseMoveTo(desktop, 176, 748);
  EXPECT_EQ(desktop.calls, Calls{"Mouse 32769 11264,63828"});
  desktop.width = 1280;
  EXPECT_EQ(ToMouseX(desktop, 640), 32768);
  EXPECT_EQ(ToMouseX(desktop, 384), 19660);
  EXPECT_EQ(ToMouseX(desktop, 128), 6554);
  desktop.width = 0;
  EXPECT_EQ(ToMouseX(desktop, 100), 0);
}

TEST(MouseTest, ScreenSizeUnitsWindowBoxAndClicks) {
  testing::FakeDesktop desktop;
  int w = 0, h = 0;
  GetScreenSize(desktop, &w, &h, 1);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(15360, 11520));
  GetScreenSize(desktop, &w, &h, 2);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(11, 8));
  GetScreenSize(desktop, &w, &h, 3);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(792, 576));
  desktop.z_order = {{7, "w", {50, 40, 350, 240}}};
  int left = 1, top = 1, height = 1, width = 1;
  EXPECT_TRUE(GetWindowBox(desktop, 7, &left, &top, &height, &width));
  EXPECT_EQ((std::vector<int>{left, top, height, width}), (std::vector<int>{50, 40, 200, 300}));
  EXPECT_FALSE(GetWindowBox(desktop, 8, &left, &top, &height, &width));
  EXPECT_EQ(left, 50);
  EXPECT_FALSE(MouseClick(desktop, 3));
  EXPECT_TRUE(MouseClick(desktop, 1));
  EXPECT_EQ(desktop.calls, Calls{"Mouse 24 0,0"});
}

TEST_F(WindowsTest, ExportClicksTheDebugWindowAndItsDialog) {
  Desktop({{kStatus, "Quilletfiles", {}}, {4, "x DebugWindow", {100, 50, 740, 530}}});
  run_.desktop.on_click = [this](int, int) {
    if (run_.desktop.z_order.size() == 2)
      run_.desktop.z_order.push_back({9, "Save DebugWin contents", {300, 200, 500, 400}});
  };
  ReadWindowList(run_.context);
  SaveDebugWindow(run_.context);
  EXPECT_EQ(run_.desktop.calls,
            (Calls{"Show 4 9", "Foreground 4", "Active 4", "Mouse 32769 17664,43519", "Mouse 6 0,0",
                   "Foreground 9", "Active 9", "Pos 9 1 300,200,200,200 64",
                   "Mouse 32769 25088,23210", "Mouse 6 0,0", "Show 4 6", "Foreground 256"}));
  EXPECT_EQ(run_.clock.slept_ms, 100 + 100 + 500);
}

TEST_F(WindowsTest, ExportWithoutDebugWindowOnlyRaisesTheStatusWindow) {
  Desktop({{kStatus, "Quilletfiles", {}}, {4, "Editor", {0, 0, 10, 10}}});
  ReadWindowList(run_.context);
  SaveDebugWindow(run_.context);
  EXPECT_EQ(run_.desktop.calls, Calls{"Foreground 256"});
  EXPECT_EQ(run_.window.Labels(), (Calls{"Reading Windows", "DebugWin"}));
}

TEST_F(WindowsTest, ADialogThatNeverOpensGetsNoSecondClick) {
  Desktop({{kStatus, "Quilletfiles", {}}, {4, "DEBUGWINDOW", {0, 0, 640, 480}}});
  run_.desktop.foreground = 4;  // Already in front: no restore, no activation.
  ReadWindowList(run_.context);
  SaveDebugWindow(run_.context);
  EXPECT_EQ(run_.desktop.find_calls, 51);
  EXPECT_EQ(run_.clock.slept_ms, 5000);
  EXPECT_EQ(run_.desktop.calls,
            (Calls{"Mouse 32769 11264,39253", "Mouse 6 0,0", "Show 4 6", "Foreground 256"}));
}

TEST_F(WindowsTest, ARefusedForegroundIsTriedFiftyTimesAndAClosedWindowIsNotClicked) {
  Desktop({{kStatus, "Quilletfiles", {}}, {4, "DebugWindow", {0, 0, 640, 480}}});
  run_.desktop.grant_foreground = false;
  ReadWindowList(run_.context);
  run_.desktop.z_order.pop_back();  // Closed after the inventory.
  SaveDebugWindow(run_.context);
  EXPECT_EQ(run_.clock.slept_ms, 50 * 100);
  EXPECT_EQ(run_.desktop.calls.size(), 50u * 3 + 2);
  EXPECT_EQ(run_.desktop.calls[150], "Show 4 6");
}

TEST_F(WindowsTest, ScreenshotFallsBackToADirectCapture) {
  EXPECT_EQ(CaptureScreen(run_.context), ScreenSource::kDirect);
  EXPECT_TRUE(run_.files.Exists("T:\\Target\\Log"));
  EXPECT_EQ(run_.desktop.calls, (Calls{"PrintScreen", "Clipboard T:\\Target\\Log\\Screen.bmp",
                                       "Capture T:\\Target\\Log\\Screen.bmp"}));
  EXPECT_EQ(run_.clock.slept_ms, 250);
  run_.desktop.clipboard_has_bitmap = true;
  EXPECT_EQ(CaptureScreen(run_.context), ScreenSource::kClipboard);
  run_.desktop.clipboard_has_bitmap = false;
  run_.desktop.can_capture = false;
  EXPECT_EQ(CaptureScreen(run_.context), ScreenSource::kNone);
}

}  // namespace
}  // namespace quillet
