// Making the HMI's debug window save its contents through its own dialog.
#ifndef QUILLET_WINDOWS_DEBUG_WINDOW_H_
#define QUILLET_WINDOWS_DEBUG_WINDOW_H_

#include "run/run_context.h"

namespace quillet {

// Finds the first window of the inventory whose title contains DEBUGWINDOW,
// brings it to the front, clicks 176 pixels from its left edge and 20 above
// its bottom edge, waits for the dialog "Save DebugWin contents", clicks it
// at (92, 72) from its corner, and minimizes the debug window again. No
// click is sent when the debug window's rectangle cannot be read or the
// screen has no size, and the second click only into a dialog that appeared.
// On every path the status window is asked to the foreground at the end.
// Returns what was done, for the run report.
struct DebugWindowOutcome {
  bool found = false;
  bool first_click_sent = false;
  bool second_click_sent = false;
};
DebugWindowOutcome SaveDebugWindow(RunContext& context);

}  // namespace quillet

#endif  // QUILLET_WINDOWS_DEBUG_WINDOW_H_
