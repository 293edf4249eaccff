#include "windows/mouse.h"

#include "platform/rounding.h"

namespace quillet {
namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr int kPointsPerInch = 72;

int ToMouse(int extent, int pixel) {
  if (extent == 0) return 0;  // No display: nothing to divide by.
  const double q = 65535.0 / extent;
  return static_cast<int>(RoundHalfEven(q * pixel));
}

}  // namespace

void GetScreenSize(Desktop& desktop, int* width, int* height, int unit) {
  desktop.ScreenSizeInPixels(width, height);
  if (unit == 0) return;
  float twips_x = 0, twips_y = 0;
  desktop.TwipsPerPixel(&twips_x, &twips_y);
  *width = static_cast<int>(RoundHalfEven(static_cast<double>(*width) * twips_x));
  *height = static_cast<int>(RoundHalfEven(static_cast<double>(*height) * twips_y));
  if (unit == 2 || unit == 3) {
    *width = static_cast<int>(RoundHalfEven(*width / kTwipsPerInch));
    *height = static_cast<int>(RoundHalfEven(*height / kTwipsPerInch));
  }
  if (unit == 3) {
    *width *= kPointsPerInch;
    *height *= kPointsPerInch;
  }
}

int ToMouseX(Desktop& desktop, int x) {
  int width = 0, height = 0;
  GetScreenSize(desktop, &width, &height);
  return ToMouse(width, x);
}

int ToMouseY(Desktop& desktop, int y) {
  int width = 0, height = 0;
  GetScreenSize(desktop, &width, &height);
  return ToMouse(height, y);
}

bool GetWindowBox(Desktop& desktop, WindowHandle window, int* left, int* top, int* height,
                  int* width) {
  WindowRect rect;
  if (!desktop.OuterRect(window, &rect)) return false;
  *left = rect.left;
  *top = rect.top;
  *height = rect.bottom - rect.top;
  *width = rect.right - rect.left;
  return true;
}

bool MouseClick(Desktop& desktop, int kind) {
  static constexpr MouseButton kButtons[] = {MouseButton::kLeft, MouseButton::kRight,
                                             MouseButton::kMiddle};
  if (kind < 0 || kind > 2) return false;
  desktop.Click(kButtons[kind]);
  return true;
}

void MouseMoveTo(Desktop& desktop, int x, int y) {
  const int dx = ToMouseX(desktop, x);
  const int dy = ToMouseY(desktop, y);
  desktop.MovePointerTo(dx, dy);
}

}  // namespace quillet
