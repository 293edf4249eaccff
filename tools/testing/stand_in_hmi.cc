// A stand-in for the HMI's debug window, so that the Wine tests can watch
// quillet.exe's window automation from the receiving side.
//
// Usage: stand_in_hmi.exe --ready FILE --clicks FILE --save FILE [--no-dialog]
//
// It shows a top-level window titled "Visu DebugWindow" that paints two lines
// of debug text. A left click 176 pixels from the window's outer left edge and
// 20 pixels above its outer bottom edge opens a top-level window titled "Save
// DebugWin contents"; a left click at (92, 72) from that window's outer
// top-left corner writes the debug text to the --save file and closes it.
// Both spots accept three pixels of error in each direction, since absolute
// mouse coordinates round. Every button press that either window receives is
// appended to the --clicks file as one line:
//   <debug|dialog> <left|right|middle> <screen x> <screen y> <x from outer left> <y from outer top>
// With --no-dialog the debug window never opens the dialog, as an HMI whose
// dialog fails to appear. The --ready file is written once the debug window
// is shown. The program runs until it is ended from outside.
#include <windows.h>
#include <windowsx.h>

#include <cstdlib>
#include <string>

namespace {

constexpr char kDebugClass[] = "QuilletStandInDebugWindow";
constexpr char kDialogClass[] = "QuilletStandInSaveDialog";
constexpr char kDebugTitle[] = "Visu DebugWindow";
constexpr char kDialogTitle[] = "Save DebugWin contents";
constexpr char kDebugText[] = "debug line 1\r\ndebug line 2\r\n";

// The debug window's outer rectangle, and the dialog's, which overlaps the
// debug window's middle as a real dialog of the HMI would.
constexpr int kDebugLeft = 100;
constexpr int kDebugTop = 50;
constexpr int kDebugWidth = 640;
constexpr int kDebugHeight = 480;
constexpr int kDialogLeft = 360;
constexpr int kDialogTop = 240;
constexpr int kDialogWidth = 300;
constexpr int kDialogHeight = 200;

// Where the HMI's own buttons sit: "Save" of the debug window, measured from
// its outer left and bottom edges, and "OK" of the dialog, measured from its
// outer top-left corner.
constexpr int kSaveFromLeft = 176;
constexpr int kSaveFromBottom = 20;
constexpr int kOkFromLeft = 92;
constexpr int kOkFromTop = 72;
constexpr int kTolerance = 3;

struct Options {
  std::string ready_path;
  std::string clicks_path;
  std::string save_path;
  bool no_dialog = false;
};

// Reads the command line; false when an option is unknown or a path is
// missing, since a test that passes wrong options must hear of it at once.
bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--no-dialog") {
      options->no_dialog = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    if (word == "--ready") {
      options->ready_path = argv[++i];
    } else if (word == "--clicks") {
      options->clicks_path = argv[++i];
    } else if (word == "--save") {
      options->save_path = argv[++i];
    } else {
      return false;
    }
  }
  return !options->ready_path.empty() && !options->clicks_path.empty() &&
         !options->save_path.empty();
}

// Writes or appends `text`. The file is opened for each write and shared for
// reading, so that a test can read it at any time while this program runs.
bool WriteToFile(const std::string& path, const std::string& text, bool append) {
  HANDLE file = CreateFileA(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == text.size();
}

bool Near(int value, int wanted) {
  return value >= wanted - kTolerance && value <= wanted + kTolerance;
}

// The state shared by both windows; each window finds it through its
// GWLP_USERDATA, which the creation parameter fills.
class StandIn {
 public:
  explicit StandIn(const Options& options) : options_(options) {}

  bool Create(HINSTANCE instance) {
    if (!Register(instance, kDebugClass) || !Register(instance, kDialogClass)) return false;
    debug_ =
        CreateWindowExA(0, kDebugClass, kDebugTitle, WS_OVERLAPPEDWINDOW, kDebugLeft, kDebugTop,
                        kDebugWidth, kDebugHeight, nullptr, nullptr, instance, this);
    if (debug_ == nullptr) return false;
    ShowWindow(debug_, SW_SHOWNORMAL);
    UpdateWindow(debug_);
    return WriteToFile(options_.ready_path, "ready\r\n", false);
  }

 private:
  bool Register(HINSTANCE instance, const char* name) {
    WNDCLASSEXA window_class = {};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = &WindowProc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = name;
    return RegisterClassExA(&window_class) != 0;
  }

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<StandIn*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcA(window, message, wparam, lparam);
    return self->Handle(window, message, wparam, lparam);
  }

  LRESULT Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    // Presses in the client area come in client coordinates, those on the
    // frame and caption in screen coordinates; both are logged, so that a
    // click that misses the client area still shows up in the log.
    POINT point = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
    switch (message) {
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN:
        ClientToScreen(window, &point);
        OnPress(window, ButtonName(message), point);
        return 0;
      case WM_NCLBUTTONDOWN:
      case WM_NCRBUTTONDOWN:
      case WM_NCMBUTTONDOWN:
        OnPress(window, ButtonName(message), point);
        break;
      case WM_PAINT:
        Paint(window);
        return 0;
      case WM_DESTROY:
        if (window == dialog_) dialog_ = nullptr;
        // The debug window lives until the process is ended from outside;
        // should it be closed anyway, the program ends with it.
        if (window == debug_) PostQuitMessage(0);
        break;
      default:
        break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
  }

  static const char* ButtonName(UINT message) {
    switch (message) {
      case WM_LBUTTONDOWN:
      case WM_NCLBUTTONDOWN:
        return "left";
      case WM_RBUTTONDOWN:
      case WM_NCRBUTTONDOWN:
        return "right";
      default:
        return "middle";
    }
  }

  void OnPress(HWND window, const std::string& button, POINT screen) {
    RECT outer = {};
    GetWindowRect(window, &outer);
    const int x = screen.x - outer.left;
    const int y = screen.y - outer.top;
    const std::string line = std::string(window == debug_ ? "debug" : "dialog") + " " + button +
                             " " + std::to_string(screen.x) + " " + std::to_string(screen.y) + " " +
                             std::to_string(x) + " " + std::to_string(y) + "\r\n";
    WriteToFile(options_.clicks_path, line, true);
    if (button != "left") return;
    if (window == debug_ && Near(x, kSaveFromLeft) &&
        Near(y, (outer.bottom - outer.top) - kSaveFromBottom)) {
      OpenDialog();
    } else if (window == dialog_ && Near(x, kOkFromLeft) && Near(y, kOkFromTop)) {
      WriteToFile(options_.save_path, kDebugText, false);
      DestroyWindow(dialog_);
    }
  }

  void OpenDialog() {
    if (options_.no_dialog) return;
    // A second press while the dialog is open only brings it back up, as a
    // modal dialog of the HMI would be the one to get the focus.
    if (dialog_ != nullptr) {
      SetForegroundWindow(dialog_);
      return;
    }
    dialog_ = CreateWindowExA(
        0, kDialogClass, kDialogTitle, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, kDialogLeft,
        kDialogTop, kDialogWidth, kDialogHeight, nullptr, nullptr, GetModuleHandleA(nullptr), this);
    if (dialog_ == nullptr) return;
    ShowWindow(dialog_, SW_SHOWNORMAL);
    UpdateWindow(dialog_);
  }

  // The debug window shows its text and marks its "Save" spot, the dialog
  // its "OK" spot, so that a screenshot shows where the clicks should land.
  void Paint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client = {};
    GetClientRect(window, &client);
    SetBkMode(dc, TRANSPARENT);
    RECT text = client;
    InflateRect(&text, -8, -8);
    if (window == debug_) DrawTextA(dc, kDebugText, -1, &text, DT_LEFT | DT_TOP);
    RECT outer = {};
    GetWindowRect(window, &outer);
    POINT spot = window == debug_
                     ? POINT{outer.left + kSaveFromLeft, outer.bottom - kSaveFromBottom}
                     : POINT{outer.left + kOkFromLeft, outer.top + kOkFromTop};
    ScreenToClient(window, &spot);
    RECT button = {spot.x - 30, spot.y - 10, spot.x + 30, spot.y + 10};
    FrameRect(dc, &button, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    DrawTextA(dc, window == debug_ ? "Save" : "OK", -1, &button,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EndPaint(window, &paint);
  }

  Options options_;
  HWND debug_ = nullptr;
  HWND dialog_ = nullptr;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  Options options;
  if (!ParseOptions(__argc, __argv, &options)) return 2;
  StandIn stand_in(options);
  if (!stand_in.Create(instance)) return 1;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
