#include "collect/capture_screen.h"

namespace quillet {
namespace {

// Time for the system to put the screen on the clipboard after the key press.
constexpr int kSettleMs = 250;

}  // namespace

const char* ScreenSourceName(ScreenSource source) {
  switch (source) {
    case ScreenSource::kClipboard:
      return "clipboard";
    case ScreenSource::kDirect:
      return "direct";
    case ScreenSource::kNone:
      break;
  }
  return "none";
}

ScreenSource CaptureScreen(const Platform& platform, Staging& staging, std::string* name) {
  staging.Ensure();  // Without the folder the saving below fails, and the run goes on.
  platform.desktop->PressPrintScreen();
  platform.clock->Sleep(kSettleMs);
  platform.window->YieldToUi();
  const std::string claimed = staging.Claim("Screen.bmp");
  if (name != nullptr) *name = claimed;
  const std::string picture = staging.PathOf(claimed);
  if (!platform.desktop->SaveClipboardBitmap(picture)) return ScreenSource::kClipboard;
  if (!platform.desktop->CaptureScreenBitmap(picture)) return ScreenSource::kDirect;
  return ScreenSource::kNone;
}

}  // namespace quillet
