#include "collect/capture_screen.h"

namespace quillet {

ScreenSource CaptureScreen(RunContext& context) {
  Files& files = *context.platform.files;
  Desktop& desktop = *context.platform.desktop;
  const std::string staging = context.state.target_path + "\\Log";
  std::string found;
  if (files.DirFirst(staging, true, &found) || found.empty()) files.MakeDir(staging);
  desktop.PressPrintScreen();
  context.platform.clock->Sleep(250);
  context.platform.window->YieldToUi();
  const std::string picture = staging + "\\Screen.bmp";
  if (!desktop.SaveClipboardBitmap(picture)) return ScreenSource::kClipboard;
  if (!desktop.CaptureScreenBitmap(picture)) return ScreenSource::kDirect;
  return ScreenSource::kNone;
}

}  // namespace quillet
