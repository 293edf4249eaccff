#include "windows/debug_window.h"

#include "windows/mouse.h"

namespace quillet {
namespace {

constexpr char kDialogTitle[] = "Save DebugWin contents";
constexpr int kForegroundTries = 50;
constexpr int kDialogPauses = 50;  // So at most 51 lookups.
constexpr int kPauseMs = 100;
constexpr int kRestore = 9;             // SW_RESTORE
constexpr int kMinimize = 6;            // SW_MINIMIZE
constexpr unsigned kShowWindow = 0x40;  // SWP_SHOWWINDOW

// The inventory number (from 1) of the first title holding DEBUGWINDOW, 0
// when there is none.
int FindDebugWindow(const RunState& state) {
  for (int i = 1; i < state.window_count; ++i) {
    if (state.window_list[static_cast<std::size_t>(i - 1)].title.find("DEBUGWINDOW") !=
        std::string::npos) {
      return i;
    }
  }
  return 0;
}

// Asks for `window` to become the foreground window, at most 50 times; a
// window already in the foreground gets no call at all.
void BringToFront(RunContext& context, WindowHandle window, bool restore) {
  Desktop& desktop = *context.platform.desktop;
  for (int tries = 0; tries < kForegroundTries && desktop.GetForegroundWindow() != window;
       ++tries) {
    if (restore) desktop.ShowWindow(window, kRestore);
    desktop.SetForegroundWindow(window);
    desktop.SetActiveWindow(window);
    context.platform.window->YieldToUi();
    context.platform.clock->Sleep(kPauseMs);
  }
}

WindowHandle WaitForDialog(RunContext& context) {
  for (int pauses = 0;; ++pauses) {
    const WindowHandle dialog = context.platform.desktop->FindWindow(kDialogTitle);
    if (dialog != 0 || pauses == kDialogPauses) return dialog;
    context.platform.clock->Sleep(kPauseMs);
  }
}

// The clicks of the export; returns when a click could not be aimed.
void ClickSave(RunContext& context, WindowHandle debug, DebugWindowOutcome* outcome) {
  Desktop& desktop = *context.platform.desktop;
  int screen_width = 0, screen_height = 0;
  GetScreenSize(desktop, &screen_width, &screen_height);
  int left = 0, top = 0, height = 0, width = 0;
  // Without a screen size the pointer cannot be aimed, and a debug window
  // that closed since the inventory has no place to click.
  if (screen_width == 0 || screen_height == 0 ||
      !GetWindowBox(desktop, debug, &left, &top, &height, &width)) {
    return;
  }
  MouseMoveTo(desktop, left + 176, top + height - 20);
  outcome->first_click_sent = MouseClick(desktop, 0);

  // Without the dialog the second click would land in the debug window.
  const WindowHandle dialog = WaitForDialog(context);
  if (dialog == 0) return;
  BringToFront(context, dialog, false);
  if (!GetWindowBox(desktop, dialog, &left, &top, &height, &width)) return;
  desktop.SetWindowPos(dialog, kTopmost, left, top, width, height, kShowWindow);
  MouseMoveTo(desktop, left + 92, top + 72);
  outcome->second_click_sent = MouseClick(desktop, 0);
  context.platform.clock->Sleep(500);
}

}  // namespace

DebugWindowOutcome SaveDebugWindow(RunContext& context) {
  DebugWindowOutcome outcome;
  context.platform.window->SetLabel("DebugWin");
  const int found = FindDebugWindow(context.state);
  if (found != 0) {
    outcome.found = true;
    const WindowHandle debug =
        context.state.window_list[static_cast<std::size_t>(found - 1)].handle;
    BringToFront(context, debug, true);
    ClickSave(context, debug, &outcome);
    context.platform.desktop->ShowWindow(debug, kMinimize);
    context.platform.window->YieldToUi();
  }
  context.platform.desktop->SetForegroundWindow(context.platform.window->Handle());
  return outcome;
}

}  // namespace quillet
