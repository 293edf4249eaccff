// The run's only user interface: one window with one label, and message boxes.
#ifndef QUILLET_PLATFORM_STATUS_WINDOW_H_
#define QUILLET_PLATFORM_STATUS_WINDOW_H_

#include <cstdint>
#include <string>

namespace quillet {

class StatusWindow {
 public:
  virtual ~StatusWindow() = default;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  // Replaces the label's text and repaints it at once.
  virtual void SetLabel(const std::string& text) = 0;
  virtual void BringToFront() = 0;
  // The window's outer size in twips (1/1440 inch).
  virtual void OuterSizeTwips(int* width, int* height) = 0;
  // Places the window above all non-topmost windows at (x, y) with the given
  // outer size in pixels, and shows it.
  virtual void PlaceTopmost(int x, int y, int width, int height) = 0;
  // Handles all pending window messages once, then returns.
  virtual void YieldToUi() = 0;
  // Shows `text` in a modal box with an OK button and waits until it is closed.
  virtual void MessageBox(const std::string& text) = 0;
  // Reports an error to whoever started the program: a message box when
  // `interactive`, otherwise a line on standard error.
  virtual void ReportError(const std::string& text, bool interactive) = 0;
  // The window's handle, 0 where the platform has no window.
  virtual std::uintptr_t Handle() = 0;
};

}  // namespace quillet

#endif  // QUILLET_PLATFORM_STATUS_WINDOW_H_
