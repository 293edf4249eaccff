#include "windows/mouse.h"

#include "platform/rounding.h"

namespace quillet {
namespace {

constexpr int kScreenWidth = 0;             // SM_CXSCREEN
constexpr int kScreenHeight = 1;            // SM_CYSCREEN
constexpr unsigned kMoveAbsolute = 0x8001;  // MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE
constexpr double kTwipsPerInch = 1440.0;

int ToMouse(int extent, int pixel) {
  if (extent == 0) return 0;  // No display: nothing to divide by.
  const double q = 65535.0 / extent;
  return static_cast<int>(RoundHalfEven(q * pixel));
}

}  // namespace

void GetScreenSize(Desktop& desktop, int* width, int* height, int unit) {
  *width = desktop.GetSystemMetrics(kScreenWidth);
  *height = desktop.GetSystemMetrics(kScreenHeight);
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
    *width *= 72;
    *height *= 72;
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
  if (!desktop.GetWindowRect(window, &rect)) return false;
  *left = rect.left;
  *top = rect.top;
  *height = rect.bottom - rect.top;
  *width = rect.right - rect.left;
  return true;
}

bool MouseClick(Desktop& desktop, int kind) {
  static constexpr unsigned kFlags[] = {
      0x0002 | 0x0004,  // Left down and up.
      0x0008 | 0x0010,  // Right down and up.
      0x0020 | 0x0040,  // Middle down and up.
  };
  if (kind < 0 || kind > 2) return false;
  desktop.MouseEvent(kFlags[kind], 0, 0);
  return true;
}

void MouseMoveTo(Desktop& desktop, int x, int y) {
  const int dx = ToMouseX(desktop, x);
  const int dy = ToMouseY(desktop, y);
  desktop.MouseEvent(kMoveAbsolute, dx, dy);
}

}  // namespace quillet
