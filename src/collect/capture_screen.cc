#include "collect/capture_screen.h"

namespace quillet {
namespace {

// Time for the system to put the screen on the clipboard after the key press.
constexpr int kSettleMs = 250;

}  // namespace

ScreenSource CaptureScreen(const Platform& p, Staging& staging, std::string* name) {
  staging.Ensure();  // Without the folder the saving below fails, and the run goes on.
  p.desktop->PressPrintScreen();
  p.clock->Sleep(kSettleMs);
  p.window->YieldToUi();
  const std::string claimed = staging.Claim("Screen.bmp");
  if (name != nullptr) *name = claimed;
  const std::string picture = staging.PathOf(claimed);
  if (!p.desktop->SaveClipboardBitmap(picture)) return ScreenSource::kClipboard;
  if (!p.desktop->CaptureScreenBitmap(picture)) return ScreenSource::kDirect;
  return ScreenSource::kNone;
}

}  // namespace quillet
