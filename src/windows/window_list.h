// The inventory of titled top-level windows.
#ifndef QUILLET_WINDOWS_WINDOW_LIST_H_
#define QUILLET_WINDOWS_WINDOW_LIST_H_

#include "run/run_context.h"

namespace quillet {

// Walks the z-order from the status window downwards, then upwards, and
// records the upper-cased title and handle of every window with a title, the
// nearest first in each direction. Untitled windows are passed through.
// Titles are read through a 254-character buffer (so at most 253 characters)
// and padded to 255. Recording stops at kWindowListSize windows.
void ReadWindowList(RunContext& context);

}  // namespace quillet

#endif  // QUILLET_WINDOWS_WINDOW_LIST_H_
