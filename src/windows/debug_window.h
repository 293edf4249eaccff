// Making the HMI's debug window save its contents through its own dialog.
#ifndef QUILLET_WINDOWS_DEBUG_WINDOW_H_
#define QUILLET_WINDOWS_DEBUG_WINDOW_H_

#include "core/run_state.h"
#include "platform/platform.h"

namespace quillet {

struct DebugWindowOutcome {
  bool found = false;
  bool first_click_sent = false;
  bool second_click_sent = false;
};

// Finds the first window of the inventory whose title contains DEBUGWINDOW,
// brings it to the front, clicks its Save button (176 pixels from its left
// edge, 20 above its bottom edge), waits for the dialog "Save DebugWin
// contents", clicks its OK button (92, 72 from its corner), and minimizes
// the debug window again. No click is sent when the debug window's
// rectangle cannot be read or the screen has no size, and the second click
// only into a dialog that appeared. On every path the status window is
// asked to the foreground at the end.
DebugWindowOutcome SaveDebugWindow(const Platform& platform, const WindowList& windows);

}  // namespace quillet

#endif  // QUILLET_WINDOWS_DEBUG_WINDOW_H_
