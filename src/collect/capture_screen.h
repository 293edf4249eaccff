// The screenshot of the screen as the operator left it.
#ifndef QUILLET_COLLECT_CAPTURE_SCREEN_H_
#define QUILLET_COLLECT_CAPTURE_SCREEN_H_

#include "core/staging.h"
#include "platform/platform.h"

namespace quillet {

// How the screenshot was obtained.
enum class ScreenSource { kNone, kClipboard, kDirect };

// The source as the run report names it: "none", "clipboard" or "direct".
const char* ScreenSourceName(ScreenSource source);

// Creates the staging folder when missing and saves the screen there as
// Screen.bmp: presses Print Screen, waits 250 ms, handles the window's
// messages once and saves the clipboard's bitmap. When the clipboard holds
// no bitmap (remote sessions, locked-down keyboards) the screen is captured
// directly instead. Nothing escapes this step; without a picture the run
// goes on without one. `*name`, when given, receives the picture's name in the
// staging folder (Screen.bmp, unless an earlier run's file could not move aside).
ScreenSource CaptureScreen(const Platform& platform, Staging& staging, std::string* name = nullptr);

}  // namespace quillet

#endif  // QUILLET_COLLECT_CAPTURE_SCREEN_H_
