// A stand-in for the HMI's debug window, so that the Windows tests can watch quillet.exe's window
// automation from the receiving side. Usage: stand_in_hmi.exe FOLDER; it runs until it is ended
// from outside. Its window "Visu DebugWindow" shows two lines of debug text. A left click 176
// pixels from its outer left edge and 20 above its outer bottom edge opens "Save DebugWin
// contents"; one at (92, 72) from that window's outer top-left corner writes the text to
// FOLDER\hmi_saved.txt and closes it. Both spots allow three pixels, since absolute mouse
// coordinates round. Every left click goes to FOLDER\hmi_clicks.txt as "<debug|dialog> <x> <y>"
// from the window's outer top-left corner; FOLDER\hmi_ready.txt appears once the window shows.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr char kClass[] = "QuilletStandIn";
constexpr char kDebugText[] = "debug line 1\r\ndebug line 2\r\n";
constexpr int kSaveFromLeft = 176, kSaveFromBottom = 20, kOkFromLeft = 92, kOkFromTop = 72;
std::string g_folder;
HWND g_debug = nullptr, g_dialog = nullptr;

void Put(const std::string& name, const char* mode, const std::string& text) {
  if (std::FILE* file = std::fopen((g_folder + "\\" + name).c_str(), mode)) {
    std::fputs(text.c_str(), file);
    std::fclose(file);
  }
}

bool Near(int value, int wanted) { return std::abs(value - wanted) <= 3; }

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_LBUTTONDOWN) {
    POINT point = {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
    ClientToScreen(window, &point);
    RECT outer = {};
    GetWindowRect(window, &outer);
    const int x = point.x - outer.left, y = point.y - outer.top;
    Put("hmi_clicks.txt", "ab",
        std::string(window == g_debug ? "debug " : "dialog ") + std::to_string(x) + " " +
            std::to_string(y) + "\r\n");
    if (window == g_debug && g_dialog == nullptr && Near(x, kSaveFromLeft) &&
        Near(y, outer.bottom - outer.top - kSaveFromBottom)) {
      g_dialog = CreateWindowExA(0, kClass, "Save DebugWin contents",
                                 WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 360, 240,
                                 300, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    } else if (window == g_dialog && Near(x, kOkFromLeft) && Near(y, kOkFromTop)) {
      Put("hmi_saved.txt", "wb", kDebugText);
      DestroyWindow(g_dialog);
      g_dialog = nullptr;
    }
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
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = kClass;
  RegisterClassA(&window_class);
  g_debug = CreateWindowExA(0, kClass, "Visu DebugWindow", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100,
                            50, 640, 480, nullptr, nullptr, instance, nullptr);
  if (g_debug == nullptr) return 1;
  CreateWindowExA(0, "STATIC", kDebugText, WS_CHILD | WS_VISIBLE, 8, 8, 600, 100, g_debug, nullptr,
                  instance, nullptr);
  UpdateWindow(g_debug);  // The text is on the screen before the test is told to go on.
  Put("hmi_ready.txt", "wb", "ready\r\n");
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  return 0;
}
