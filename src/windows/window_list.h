// The inventory of titled top-level windows.
#ifndef QUILLET_WINDOWS_WINDOW_LIST_H_
#define QUILLET_WINDOWS_WINDOW_LIST_H_

#include "core/run_state.h"
#include "platform/platform.h"

namespace quillet {

// Walks the z-order from the status window downwards, then upwards, and
// records the upper-cased title and handle of every window with a title, the
// nearest first in each direction. Untitled windows are passed through.
// Titles are read up to 253 characters and padded to kTitleLength.
// Recording stops at kWindowListSize windows.
WindowList ReadWindowList(const Platform& platform);

}  // namespace quillet

#endif  // QUILLET_WINDOWS_WINDOW_LIST_H_
