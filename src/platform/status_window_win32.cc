// On Windows the status window is a small fixed-size top-level window with
// one label, and the messages are ordinary message boxes.
#include <cstdio>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/status_window.h"
#include "platform/text.h"
#include "platform/win32.h"

namespace quillet {
namespace {

constexpr char kClassName[] = "QuilletStatusWindow";
constexpr char kCaption[] = "Quilletfiles";
constexpr COLORREF kBackground = RGB(192, 192, 192);
constexpr COLORREF kTextColor = RGB(0, 0, 0);

// The form's layout in pixels: a client area of 392 x 53 and one label of
// 384 x 40 at (4, 4), which are 5880 x 795 and 60/60/5760/600 twips at 15
// twips per pixel.
constexpr int kClientWidth = 392;
constexpr int kClientHeight = 53;
constexpr int kLabelLeft = 4;
constexpr int kLabelTop = 4;
constexpr int kLabelWidth = 384;
constexpr int kLabelHeight = 40;
constexpr int kLabelId = 100;
constexpr int kLabelPoints = 12;
// Pixels between the window and the bottom edge of the screen's work area.
constexpr int kScreenMargin = 16;

// A caption with a close box and a minimize box, but no sizing border and no
// maximize box, so the user cannot change the window's size.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kWindowExStyle = 0;

constexpr int kTwipsPerInch = 1440;

// The executable's base name without folder and extension. It is the title
// that message boxes carry, as the program's default application title.
std::string ProgramTitle() {
  char path[MAX_PATH + 1] = {};
  return BaseName(std::string(path, GetModuleFileNameA(nullptr, path, MAX_PATH)));
}

// Reads one device capability of the screen, such as its pixels per inch.
int ScreenCaps(int index) {
  HDC screen = GetDC(nullptr);
  const int value = GetDeviceCaps(screen, index);
  ReleaseDC(nullptr, screen);
  return value;
}

class Win32StatusWindow : public StatusWindow {
 public:
  Win32StatusWindow() { Create(); }

  ~Win32StatusWindow() override {
    if (window_ != nullptr) DestroyWindow(window_);
    if (font_ != nullptr) DeleteObject(font_);
    if (background_ != nullptr) DeleteObject(background_);
  }

  Win32StatusWindow(const Win32StatusWindow&) = delete;
  Win32StatusWindow& operator=(const Win32StatusWindow&) = delete;

  void Show() override {
    if (window_ == nullptr) return;
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
  }

  void Hide() override {
    if (window_ != nullptr) ShowWindow(window_, SW_HIDE);
  }

  // The run changes the label just before long steps that handle no window
  // messages, so the new text is painted here at once instead of waiting for
  // the next turn of a message loop.
  void SetLabel(const std::string& text) override {
    if (label_ == nullptr) return;
    SetWindowTextA(label_, text.c_str());
    UpdateWindow(label_);
  }

  void BringToFront() override {
    if (window_ == nullptr) return;
    SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }

  void OuterSizeTwips(int* width, int* height) override {
    RECT rect = {};
    if (window_ != nullptr) GetWindowRect(window_, &rect);
    const int dpi_x = ScreenCaps(LOGPIXELSX);
    const int dpi_y = ScreenCaps(LOGPIXELSY);
    *width = (rect.right - rect.left) * (kTwipsPerInch / (dpi_x > 0 ? dpi_x : 96));
    *height = (rect.bottom - rect.top) * (kTwipsPerInch / (dpi_y > 0 ? dpi_y : 96));
  }

  void PlaceTopmost(int x, int y, int width, int height) override {
    if (window_ == nullptr) return;
    SetWindowPos(window_, HWND_TOPMOST, x, y, width, height, SWP_SHOWWINDOW);
  }

  void YieldToUi() override {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      // A quit request is meant for a message loop that this program does
      // not have; the run decides by itself when the process ends.
      if (message.message == WM_QUIT) continue;
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }

  void MessageBox(const std::string& text) override {
    MessageBoxA(window_, text.c_str(), ProgramTitle().c_str(), MB_OK);
  }

  // An error may come before the window was ever shown. A hidden owner would
  // keep the box out of the task bar, so the box then stands on its own.
  void ReportError(const std::string& text, bool interactive) override {
    if (interactive) {
      HWND owner = window_ != nullptr && IsWindowVisible(window_) ? window_ : nullptr;
      MessageBoxA(owner, text.c_str(), ProgramTitle().c_str(), MB_OK | MB_ICONERROR);
      return;
    }
    // A GUI program has a standard error handle only when its parent passed
    // one; without it there is nobody to tell, so nothing is written.
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
    const std::string line = text + "\r\n";
    DWORD written = 0;
    WriteFile(error, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }

  std::uintptr_t Handle() override { return reinterpret_cast<std::uintptr_t>(window_); }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32StatusWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
      case WM_CTLCOLORSTATIC:
        if (self != nullptr && self->background_ != nullptr) {
          HDC dc = reinterpret_cast<HDC>(wparam);
          SetBkColor(dc, kBackground);
          SetTextColor(dc, kTextColor);
          return reinterpret_cast<LRESULT>(self->background_);
        }
        break;
      case WM_CLOSE:
        // The run is unattended and owns the window until the process ends;
        // closing it halfway would leave the steps without their window, so
        // the close box does nothing.
        return 0;
      default:
        break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
  }

  void Create() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    background_ = CreateSolidBrush(kBackground);

    WNDCLASSEXA window_class = {};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = &WindowProc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    window_class.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    window_class.hbrBackground = background_;
    window_class.lpszClassName = kClassName;
    // A second registration in the same process fails harmlessly with
    // ERROR_CLASS_ALREADY_EXISTS, and the existing class is used.
    RegisterClassExA(&window_class);

    RECT outer = {0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&outer, kWindowStyle, FALSE, kWindowExStyle);
    const int outer_width = outer.right - outer.left;
    const int outer_height = outer.bottom - outer.top;
    // The window stands at the bottom of the screen, in the middle. The
    // console window that the system opens for a batch file or the packer
    // takes the default position near the top left corner; a status window
    // placed there too would be hidden behind it for as long as the program
    // runs, and after it (Wine repaints an uncovered window only when the run
    // next turns to its messages).
    RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const int left = work.left + (work.right - work.left - outer_width) / 2;
    const int top = work.bottom - outer_height - kScreenMargin;
    window_ = CreateWindowExA(kWindowExStyle, kClassName, kCaption, kWindowStyle, left,
                              top > work.top ? top : work.top, outer_width, outer_height, nullptr,
                              nullptr, instance, this);
    if (window_ == nullptr) return;

    const int height = -MulDiv(kLabelPoints, ScreenCaps(LOGPIXELSY), 72);
    font_ = CreateFontA(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_DONTCARE, "Lucida Sans Unicode");
    label_ =
        CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, kLabelLeft,
                        kLabelTop, kLabelWidth, kLabelHeight, window_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLabelId)), instance, nullptr);
    if (label_ != nullptr && font_ != nullptr) {
      SendMessageA(label_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    }
  }

  HWND window_ = nullptr;
  HWND label_ = nullptr;
  HFONT font_ = nullptr;
  HBRUSH background_ = nullptr;
};

}  // namespace

std::unique_ptr<StatusWindow> CreateStatusWindow() { return std::make_unique<Win32StatusWindow>(); }

// A windowed program gets no console of its own. When it was started from a
// console without redirection, its output goes to that console; when the
// caller redirected it, the inherited handle is used as it is.
void UseParentConsole() {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if ((out == nullptr || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
  }
}

void EndProcess(int code) {
  // Text that other parts of the program left in the C runtime's buffers
  // would be lost, because ExitProcess does not flush them.
  std::fflush(nullptr);
  ExitProcess(static_cast<UINT>(code));
}

}  // namespace quillet
