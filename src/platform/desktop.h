// The desktop: other programs' windows, the screen, synthetic mouse input
// and the screen's picture.
#ifndef QUILLET_PLATFORM_DESKTOP_H_
#define QUILLET_PLATFORM_DESKTOP_H_

#include <cstdint>
#include <string>
#include <system_error>

namespace quillet {

using WindowHandle = std::uintptr_t;

// Where a window lies from another in the z-order of top-level windows.
enum class ZOrder { kBelow, kAbove };

enum class MouseButton { kLeft, kRight, kMiddle };

// A window's outer rectangle in screen pixels, frame and caption included.
struct WindowRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// What the window automation asks of the desktop, abstract so that tests can
// script a desktop and record the calls. Requests that the system may refuse
// (bringing a window to the front) report nothing; the steps check the
// outcome where it matters.
class Desktop {
 public:
  virtual ~Desktop() = default;
  // The window directly below or above `window` in the z-order, 0 if none.
  virtual WindowHandle Neighbour(WindowHandle window, ZOrder where) = 0;
  // The window's title, at most `max_chars` characters; "" for an untitled
  // window or a failure.
  virtual std::string Title(WindowHandle window, int max_chars) = 0;
  // The primary display's size in pixels; 0 x 0 where there is none.
  virtual void ScreenSizeInPixels(int* width, int* height) = 0;
  // Twips (1/1440 inch) per pixel of the screen, horizontally and vertically.
  virtual void TwipsPerPixel(float* x, float* y) = 0;
  // False, with `*rect` untouched, when the window's rectangle cannot be read.
  virtual bool OuterRect(WindowHandle window, WindowRect* rect) = 0;
  // Moves the pointer to absolute coordinates, 0 to 65535 across the primary
  // display in each direction.
  virtual void MovePointerTo(int x, int y) = 0;
  // Presses and releases a button where the pointer is.
  virtual void Click(MouseButton button) = 0;
  virtual WindowHandle Foreground() = 0;
  virtual void Restore(WindowHandle window) = 0;
  virtual void Minimize(WindowHandle window) = 0;
  // Asks for the window to become the foreground and the active window.
  virtual void BringToFront(WindowHandle window) = 0;
  // Asks for the window to become the foreground window.
  virtual void RequestForeground(WindowHandle window) = 0;
  // A top-level window with exactly this title, 0 if none.
  virtual WindowHandle FindTopLevel(const std::string& title) = 0;
  // Shows the window above all windows that are not themselves kept on top,
  // at (x, y) with the given outer size.
  virtual void ShowTopmostAt(WindowHandle window, int x, int y, int width, int height) = 0;

  // One key-down of Print Screen.
  virtual void PressPrintScreen() = 0;
  // Saves the clipboard's bitmap as a Windows BMP file; an error when the
  // clipboard holds no bitmap or the file cannot be written.
  virtual std::error_code SaveClipboardBitmap(const std::string& path) = 0;
  // Captures the primary screen directly and saves it as a Windows BMP file.
  virtual std::error_code CaptureScreenBitmap(const std::string& path) = 0;
};

}  // namespace quillet

#endif  // QUILLET_PLATFORM_DESKTOP_H_
