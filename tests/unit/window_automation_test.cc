// The debug window export over a scripted desktop: where its clicks land, and those it never sends.
#include <gtest/gtest.h>

#include "tests/fakes/fakes.h"
#include "windows/debug_window.h"
#include "windows/mouse.h"
#include "windows/window_list.h"

namespace quillet {
namespace {

using testing::Names;
constexpr WindowHandle kStatus = 0x100;  // The fake status window's handle.

TEST(WindowAutomationTest, ExportClicksWhereTheButtonsAreAndNoneItCannotAim) {
  testing::FakePlatform fake;
  fake.desktop.z_order = {
      {kStatus, "Status", {}}, {3, "Editor", {}}, {4, "x DebugWindow", {100, 50, 740, 530}}};
  fake.desktop.on_click = [&fake](int, int) {
    if (fake.desktop.z_order.size() == 3)
      fake.desktop.z_order.push_back({9, "Save DebugWin contents", {300, 200, 540, 380}});
  };
  DebugWindowOutcome outcome = SaveDebugWindow(fake.platform, ReadWindowList(fake.platform));
  // Pixel (276, 510) in the debug window, then (392, 272) in the dialog.
  EXPECT_EQ(fake.desktop.calls,
            (Names{"Restore 4", "Front 4", "Move 17664,43519", "Click 0", "Find", "Front 9",
                   "Topmost 9 300,200,240,180", "Move 25088,23210", "Click 0", "Minimize 4",
                   "Foreground 256"}));
  EXPECT_TRUE(outcome.found && outcome.first_click_sent && outcome.second_click_sent);
  // The status window is repainted once the debug window is down again.
  const Names& events = fake.window.events;
  EXPECT_EQ(Names(events.end() - 3, events.end()),
            (Names{"Minimize 4", "Yield", "Foreground 256"}));
  EXPECT_EQ(fake.clock.slept_ms, 100 + 100 + 500);

  // No click it cannot aim: without a debug window there is none at all.
  fake.desktop.calls.clear();
  fake.desktop.z_order = {{kStatus, "Status", {}}, {4, "Editor", {0, 0, 10, 10}}};
  EXPECT_FALSE(SaveDebugWindow(fake.platform, ReadWindowList(fake.platform)).found);
  EXPECT_EQ(fake.desktop.calls, Names{"Foreground 256"});
  // Left, right and middle; there is no fourth button to press.
  EXPECT_TRUE(MouseClick(fake.desktop, 2) && !MouseClick(fake.desktop, 3));
  int width = 0, height = 0;
  GetScreenSize(fake.desktop, &width, &height, 2);  // In inches: 1024 px are 11.
  EXPECT_EQ(width, 11);
  GetScreenSize(fake.desktop, &width, &height, 3);  // In points.
  EXPECT_EQ(width, 11 * 72);

  // Already in front: no restore; the dialog never opens: 51 lookups, no second click.
  fake.desktop.calls.clear();
  fake.clock.slept_ms = 0;
  fake.desktop.z_order = {{kStatus, "Status", {}}, {4, "DEBUGWINDOW", {0, 0, 640, 480}}};
  fake.desktop.foreground = 4;
  const WindowList windows = ReadWindowList(fake.platform);
  outcome = SaveDebugWindow(fake.platform, windows);
  EXPECT_TRUE(outcome.first_click_sent);
  EXPECT_FALSE(outcome.second_click_sent);
  EXPECT_EQ(std::count(fake.desktop.calls.begin(), fake.desktop.calls.end(), "Find"), 51);
  EXPECT_EQ(fake.clock.slept_ms, 50 * 100);  // A pause before each lookup but the last.
  EXPECT_EQ(fake.desktop.calls.front(), "Move 11264,39253");
  EXPECT_EQ(fake.desktop.calls.back(), "Foreground 256");

  // Refused foreground: fifty tries; a window closed since the inventory gets no click.
  fake.desktop.calls.clear();
  fake.desktop.foreground = 0;
  fake.desktop.grant_foreground = false;
  fake.desktop.z_order.pop_back();
  fake.clock.slept_ms = 0;
  outcome = SaveDebugWindow(fake.platform, windows);
  EXPECT_FALSE(outcome.first_click_sent);
  EXPECT_EQ(fake.clock.slept_ms, 50 * 100);
  EXPECT_EQ(fake.desktop.calls.size(), 50u * 2 + 2);
  EXPECT_EQ(fake.desktop.calls[100], "Minimize 4");
}

}  // namespace
}  // namespace quillet
