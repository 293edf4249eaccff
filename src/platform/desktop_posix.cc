// POSIX backend of the desktop. There are no other programs' windows to
// automate here: the z-order walk and the window lookup find nothing, and
// synthetic input goes nowhere. When DISPLAY names a reachable X server the
// screen size and the screen's picture come from its root window.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "platform/bmp.h"
#include "platform/desktop.h"
#include "platform/platform.h"
#include "platform/posix_path.h"

namespace quillet {
namespace {

// Extracts one 8-bit channel of an X pixel by its mask.
std::uint8_t Channel(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1) == 0) ++shift;
  const unsigned long max = mask >> shift;
  return static_cast<std::uint8_t>(((pixel & mask) >> shift) * 255 / max);
}

class PosixDesktop : public Desktop {
 public:
  PosixDesktop() : display_(XOpenDisplay(nullptr)) {}
  ~PosixDesktop() override {
    if (display_ != nullptr) XCloseDisplay(display_);
  }

  WindowHandle Neighbour(WindowHandle, ZOrder) override { return 0; }
  std::string Title(WindowHandle, int) override { return ""; }
  void ScreenSizeInPixels(int* width, int* height) override {
    *width = *height = 0;
    if (display_ == nullptr) return;
    const int screen = DefaultScreen(display_);
    *width = DisplayWidth(display_, screen);
    *height = DisplayHeight(display_, screen);
  }
  void TwipsPerPixel(float* x, float* y) override { *x = *y = 15.0f; }
  bool OuterRect(WindowHandle, WindowRect*) override { return false; }
  void MovePointerTo(int, int) override {}
  void Click(MouseButton) override {}
  WindowHandle Foreground() override { return 0; }
  void Restore(WindowHandle) override {}
  void Minimize(WindowHandle) override {}
  void BringToFront(WindowHandle) override {}
  void RequestForeground(WindowHandle) override {}
  WindowHandle FindTopLevel(const std::string&) override { return 0; }
  void ShowTopmostAt(WindowHandle, int, int, int, int) override {}
  void PressPrintScreen() override {}

  // There is no system-wide bitmap clipboard that Print Screen fills here.
  std::error_code SaveClipboardBitmap(const std::string&) override {
    return std::make_error_code(std::errc::not_supported);
  }

  std::error_code CaptureScreenBitmap(const std::string& path) override {
    if (display_ == nullptr) return std::make_error_code(std::errc::no_such_device);
    const Window root = DefaultRootWindow(display_);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_, root, &attributes)) {
      return std::make_error_code(std::errc::io_error);
    }
    const int width = attributes.width, height = attributes.height;
    XImage* image = XGetImage(display_, root, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr) return std::make_error_code(std::errc::io_error);
    const std::size_t stride = BmpStride(width);
    std::vector<std::uint8_t> rows(stride * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
      std::uint8_t* row = &rows[stride * static_cast<std::size_t>(height - 1 - y)];
      for (int x = 0; x < width; ++x) {
        const unsigned long pixel = XGetPixel(image, x, y);
        row[3 * x] = Channel(pixel, image->blue_mask);
        row[3 * x + 1] = Channel(pixel, image->green_mask);
        row[3 * x + 2] = Channel(pixel, image->red_mask);
      }
    }
    XDestroyImage(image);
    return WriteBmp(ToPosixPath(path), width, height, rows);
  }

 private:
  Display* display_;
};

}  // namespace

std::unique_ptr<Desktop> CreateDesktop() { return std::make_unique<PosixDesktop>(); }

}  // namespace quillet
