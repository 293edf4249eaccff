// The desktop: other programs' windows, screen metrics, synthetic input and
// the screen's picture.
#ifndef QUILLET_PLATFORM_DESKTOP_H_
#define QUILLET_PLATFORM_DESKTOP_H_

#include <cstdint>
#include <string>
#include <system_error>

namespace quillet {

using WindowHandle = std::uintptr_t;

// HWND_TOPMOST as a handle value.
inline constexpr WindowHandle kTopmost = static_cast<WindowHandle>(-1);

enum class ZOrder { kNext = 2, kPrevious = 3 };  // GW_HWNDNEXT, GW_HWNDPREV

struct WindowRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// Thin layer over the Windows user32 calls the window automation makes,
// abstract so that tests can script a desktop and record the calls. The
// numeric arguments (ShowWindow commands, mouse_event flags, SetWindowPos
// flags, GetSystemMetrics indexes) are those of Windows.
class Desktop {
 public:
  virtual ~Desktop() = default;
  // The window directly below or above `window` in the z-order, 0 if none.
  virtual WindowHandle GetWindow(WindowHandle window, ZOrder relation) = 0;
  // The window's title as GetWindowTextA gives it into a buffer of
  // `buffer_size` characters (at most buffer_size - 1 characters), "" for an
  // untitled window or a failure.
  virtual std::string GetWindowText(WindowHandle window, int buffer_size) = 0;
  virtual int GetSystemMetrics(int index) = 0;
  virtual bool GetWindowRect(WindowHandle window, WindowRect* rect) = 0;
  // Twips per pixel of the screen, horizontally and vertically.
  virtual void TwipsPerPixel(float* x, float* y) = 0;
  virtual void MouseEvent(unsigned flags, int dx, int dy) = 0;
  virtual WindowHandle GetForegroundWindow() = 0;
  virtual void ShowWindow(WindowHandle window, int command) = 0;
  virtual void SetForegroundWindow(WindowHandle window) = 0;
  virtual void SetActiveWindow(WindowHandle window) = 0;
  // A top-level window with exactly this title, 0 if none.
  virtual WindowHandle FindWindow(const std::string& title) = 0;
  virtual void SetWindowPos(WindowHandle window, WindowHandle insert_after, int x, int y, int width,
                            int height, unsigned flags) = 0;

  // One key-down of Print Screen (virtual key 44, scan code 0, flags 0).
  virtual void PressPrintScreen() = 0;
  // Saves the clipboard's bitmap as a Windows BMP file; an error when the
  // clipboard holds no bitmap or the file cannot be written.
  virtual std::error_code SaveClipboardBitmap(const std::string& path) = 0;
  // Captures the primary screen directly and saves it as a Windows BMP file.
  virtual std::error_code CaptureScreenBitmap(const std::string& path) = 0;
};

}  // namespace quillet

#endif  // QUILLET_PLATFORM_DESKTOP_H_
