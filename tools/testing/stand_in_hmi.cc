// A stand-in for the HMI's debug window, so that the Windows tests can watch
// quillet.exe's window automation from the receiving side.
//
// Usage: stand_in_hmi.exe FOLDER
//
// It shows a window titled "Visu DebugWindow" with two lines of debug text.
// A left click 176 pixels from its outer left edge and 20 above its outer
// bottom edge opens a window titled "Save DebugWin contents"; a left click at
// (92, 72) from that window's outer top-left corner writes the debug text to
// FOLDER\hmi_saved.txt and closes it. Both spots allow three pixels of error,
// since absolute mouse coordinates round. Every left click is appended to
// FOLDER\hmi_clicks.txt as "<debug|dialog> <x> <y>", measured from the
// window's outer top-left corner. FOLDER\hmi_ready.txt appears once the
// debug window shows. The program runs until it is ended from outside.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

constexpr char kClass[] = "QuilletStandIn";
constexpr char kDebugText[] = "debug line 1\r\ndebug line 2\r\n";
constexpr int kSaveFromLeft = 176, kSaveFromBottom = 20, kOkFromLeft = 92, kOkFromTop = 72;
std::string g_folder;
HWND g_debug = nullptr, g_dialog = nullptr;

void Append(const std::string& name, const std::string& text, bool append = true) {
  HANDLE file =
      CreateFileA((g_folder + "\\" + name).c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                  0, nullptr);
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

bool Near(int value, int wanted) { return std::abs(value - wanted) <= 3; }

void OnClick(HWND window, POINT point) {
  ClientToScreen(window, &point);
  RECT outer = {};
  GetWindowRect(window, &outer);
  const int x = point.x - outer.left, y = point.y - outer.top;
  Append("hmi_clicks.txt", std::string(window == g_debug ? "debug " : "dialog ") +
                               std::to_string(x) + " " + std::to_string(y) + "\r\n");
  if (window == g_debug && g_dialog == nullptr && Near(x, kSaveFromLeft) &&
      Near(y, outer.bottom - outer.top - kSaveFromBottom)) {
    g_dialog = CreateWindowExA(0, kClass, "Save DebugWin contents",
                               WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 360, 240, 300,
                               200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  } else if (window == g_dialog && Near(x, kOkFromLeft) && Near(y, kOkFromTop)) {
    Append("hmi_saved.txt", kDebugText, false);
    DestroyWindow(g_dialog);
    g_dialog = nullptr;
  }
}

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_LBUTTONDOWN) {
    OnClick(window, POINT{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))});
    return 0;
  }
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT text = {8, 8, 600, 100};
    if (window == g_debug) DrawTextA(dc, kDebugText, -1, &text, DT_LEFT | DT_TOP);
    EndPaint(window, &paint);
    return 0;
  }
  if (message == WM_DESTROY && window == g_debug) PostQuitMessage(0);
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (__argc != 2) return 2;
  g_folder = __argv[1];
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = &Procedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = kClass;
  RegisterClassA(&window_class);
  g_debug = CreateWindowExA(0, kClass, "Visu DebugWindow", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100,
                            50, 640, 480, nullptr, nullptr, instance, nullptr);
  if (g_debug == nullptr) return 1;
  UpdateWindow(g_debug);
  Append("hmi_ready.txt", "ready\r\n", false);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
