#include "windows/debug_window.h"

#include "windows/mouse.h"

namespace quillet {
namespace {

constexpr char kDebugTitle[] = "DEBUGWINDOW";
constexpr char kDialogTitle[] = "Save DebugWin contents";
// The HMI's Save button, from the debug window's left and bottom edges.
constexpr int kSaveFromLeft = 176;
constexpr int kSaveFromBottom = 20;
// The dialog's OK button, from its top-left corner.
constexpr int kOkFromLeft = 92;
constexpr int kOkFromTop = 72;
constexpr int kLeftButton = 0;
constexpr int kForegroundTries = 50;
constexpr int kDialogPauses = 50;  // So at most 51 lookups.
constexpr int kPauseMs = 100;
// Time for the HMI to save before its window is minimized.
constexpr int kAfterSaveMs = 500;

// The inventory number (from 1) of the first title holding DEBUGWINDOW, 0
// when there is none.
int FindDebugWindow(const WindowList& windows) {
  for (int i = 1; i < windows.count; ++i) {
    if (windows.Entry(i).title.find(kDebugTitle) != std::string::npos) return i;
  }
  return 0;
}

// Asks for `window` to become the foreground window, at most 50 times; a
// window already in the foreground gets no call at all.
void BringToFront(const Platform& platform, WindowHandle window, bool restore) {
  for (int tries = 0; tries < kForegroundTries && platform.desktop->Foreground() != window;
       ++tries) {
    if (restore) platform.desktop->Restore(window);
    platform.desktop->BringToFront(window);
    platform.window->YieldToUi();
    platform.clock->Sleep(kPauseMs);
  }
}

WindowHandle WaitForDialog(const Platform& platform) {
  for (int pauses = 0;; ++pauses) {
    const WindowHandle dialog = platform.desktop->FindTopLevel(kDialogTitle);
    if (dialog != 0 || pauses == kDialogPauses) return dialog;
    platform.clock->Sleep(kPauseMs);
  }
}

// The clicks of the export; returns when a click could not be aimed.
void ClickSave(const Platform& platform, WindowHandle debug, DebugWindowOutcome* outcome) {
  Desktop& desktop = *platform.desktop;
  int screen_width = 0, screen_height = 0;
  GetScreenSize(desktop, &screen_width, &screen_height);
  int left = 0, top = 0, height = 0, width = 0;
  // Without a screen size the pointer cannot be aimed, and a debug window
  // that closed since the inventory has no place to click.
  if (screen_width == 0 || screen_height == 0 ||
      !GetWindowBox(desktop, debug, &left, &top, &height, &width)) {
    return;
  }
  MouseMoveTo(desktop, left + kSaveFromLeft, top + height - kSaveFromBottom);
  outcome->first_click_sent = MouseClick(desktop, kLeftButton);

  // Without the dialog the second click would land in the debug window.
  const WindowHandle dialog = WaitForDialog(platform);
  if (dialog == 0) return;
  BringToFront(platform, dialog, false);
  if (!GetWindowBox(desktop, dialog, &left, &top, &height, &width)) return;
  desktop.ShowTopmostAt(dialog, left, top, width, height);
  MouseMoveTo(desktop, left + kOkFromLeft, top + kOkFromTop);
  outcome->second_click_sent = MouseClick(desktop, kLeftButton);
  platform.clock->Sleep(kAfterSaveMs);
}

}  // namespace

DebugWindowOutcome SaveDebugWindow(const Platform& platform, const WindowList& windows) {
  DebugWindowOutcome outcome;
  platform.window->SetLabel("DebugWin");
  const int found = FindDebugWindow(windows);
  if (found != 0) {
    outcome.found = true;
    const WindowHandle debug = windows.Entry(found).handle;
    BringToFront(platform, debug, true);
    ClickSave(platform, debug, &outcome);
    platform.desktop->Minimize(debug);
    platform.window->YieldToUi();
  }
  platform.desktop->RequestForeground(platform.window->Handle());
  return outcome;
}

}  // namespace quillet
