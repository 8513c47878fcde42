// A Win32 program that opens and shows one window of the client's size, with
// nothing else: what any start-up of a window costs under the same system.

#include <windows.h>

namespace {

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam,
                           LPARAM lparam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int APIENTRY wWinMain(HINSTANCE instance, HINSTANCE /*previous*/,
                      wchar_t* /*command_line*/, int /*show_command*/) {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = Procedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = L"BARE_WINDOW";
  if (RegisterClassW(&window_class) == 0) return 1;
  HWND window =
      CreateWindowExW(0, L"BARE_WINDOW", L"bare", WS_OVERLAPPEDWINDOW, 10, 10,
                      400, 740, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, SW_SHOWNORMAL);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
