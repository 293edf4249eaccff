// Windows backend of the desktop: the user32 window and input calls, and the
// screen's picture from the clipboard or straight from the screen.
#include <vector>

#include "platform/bmp.h"
#include "platform/desktop.h"
#include "platform/platform.h"
#include "platform/win32.h"

namespace quillet {
namespace {

HWND AsWindow(WindowHandle window) { return reinterpret_cast<HWND>(window); }
WindowHandle AsHandle(HWND window) { return reinterpret_cast<WindowHandle>(window); }

// Reads a bitmap as 24-bit bottom-up rows and writes it as a BMP file.
std::error_code SaveBitmap(HBITMAP bitmap, const std::string& path) {
  BITMAP info;
  if (GetObjectA(bitmap, sizeof(info), &info) == 0) {
    return std::make_error_code(std::errc::invalid_argument);
  }
  BITMAPINFO format;
  ZeroMemory(&format, sizeof(format));
  format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  format.bmiHeader.biWidth = info.bmWidth;
  format.bmiHeader.biHeight = info.bmHeight;  // Positive: bottom row first.
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 24;
  format.bmiHeader.biCompression = BI_RGB;
  std::vector<std::uint8_t> rows(BmpStride(info.bmWidth) * static_cast<std::size_t>(info.bmHeight));
  HDC screen = GetDC(nullptr);
  const int copied = GetDIBits(screen, bitmap, 0, static_cast<UINT>(info.bmHeight), rows.data(),
                               &format, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (copied != info.bmHeight) return std::make_error_code(std::errc::io_error);
  return WriteBmp(path, info.bmWidth, info.bmHeight, rows);
}

class Win32Desktop : public Desktop {
 public:
  WindowHandle Neighbour(WindowHandle window, ZOrder where) override {
    return AsHandle(
        ::GetWindow(AsWindow(window), where == ZOrder::kBelow ? GW_HWNDNEXT : GW_HWNDPREV));
  }

  // The buffer holds the terminating NUL as well, so a title of `max_chars`
  // characters needs one more.
  std::string Title(WindowHandle window, int max_chars) override {
    std::vector<char> buffer(static_cast<std::size_t>(max_chars) + 2, '\0');
    const int n = ::GetWindowTextA(AsWindow(window), buffer.data(), max_chars + 1);
    return n > 0 ? std::string(buffer.data(), static_cast<std::size_t>(n)) : std::string();
  }

  void ScreenSizeInPixels(int* width, int* height) override {
    *width = ::GetSystemMetrics(SM_CXSCREEN);
    *height = ::GetSystemMetrics(SM_CYSCREEN);
  }

  void TwipsPerPixel(float* x, float* y) override {
    HDC screen = GetDC(nullptr);
    *x = 1440.0f / static_cast<float>(GetDeviceCaps(screen, LOGPIXELSX));
    *y = 1440.0f / static_cast<float>(GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
  }

  bool OuterRect(WindowHandle window, WindowRect* rect) override {
    RECT r;
    if (!::GetWindowRect(AsWindow(window), &r)) return false;
    *rect = WindowRect{r.left, r.top, r.right, r.bottom};
    return true;
  }

  void MovePointerTo(int x, int y) override {
    mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, static_cast<DWORD>(x),
                static_cast<DWORD>(y), 0, 0);
  }

  void Click(MouseButton button) override {
    const DWORD flags = button == MouseButton::kLeft ? MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_LEFTUP
                        : button == MouseButton::kRight
                            ? MOUSEEVENTF_RIGHTDOWN | MOUSEEVENTF_RIGHTUP
                            : MOUSEEVENTF_MIDDLEDOWN | MOUSEEVENTF_MIDDLEUP;
    mouse_event(flags, 0, 0, 0, 0);
  }

  WindowHandle Foreground() override { return AsHandle(::GetForegroundWindow()); }
  void Restore(WindowHandle window) override { ::ShowWindow(AsWindow(window), SW_RESTORE); }
  void Minimize(WindowHandle window) override { ::ShowWindow(AsWindow(window), SW_MINIMIZE); }
  void BringToFront(WindowHandle window) override {
    ::SetForegroundWindow(AsWindow(window));
    ::SetActiveWindow(AsWindow(window));
  }
  void RequestForeground(WindowHandle window) override { ::SetForegroundWindow(AsWindow(window)); }
  WindowHandle FindTopLevel(const std::string& title) override {
    return AsHandle(::FindWindowA(nullptr, title.c_str()));
  }
  void ShowTopmostAt(WindowHandle window, int x, int y, int width, int height) override {
    ::SetWindowPos(AsWindow(window), HWND_TOPMOST, x, y, width, height, SWP_SHOWWINDOW);
  }

  void PressPrintScreen() override { keybd_event(VK_SNAPSHOT, 0, 0, 0); }

  std::error_code SaveClipboardBitmap(const std::string& path) override {
    if (!OpenClipboard(nullptr)) {
      return LastWin32Error();
    }
    HBITMAP bitmap = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
    const std::error_code error = bitmap == nullptr
                                      ? std::make_error_code(std::errc::no_message_available)
                                      : SaveBitmap(bitmap, path);
    CloseClipboard();
    return error;
  }

  std::error_code CaptureScreenBitmap(const std::string& path) override {
    const int width = ::GetSystemMetrics(SM_CXSCREEN), height = ::GetSystemMetrics(SM_CYSCREEN);
    if (width <= 0 || height <= 0) return std::make_error_code(std::errc::no_such_device);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    const bool copied = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY | CAPTUREBLT);
    SelectObject(memory, old);
    const std::error_code error =
        copied ? SaveBitmap(bitmap, path) : std::make_error_code(std::errc::io_error);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return error;
  }
};

}  // namespace

std::unique_ptr<Desktop> CreateDesktop() { return std::make_unique<Win32Desktop>(); }

}  // namespace quillet
