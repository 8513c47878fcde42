// A Win32 program that opens and shows one window of the client's size, with
// nothing else: what any start-up of a window costs under the same system.
//
// Built a second time with BARE_WINDOW_WITH_CLIENT_LIBRARIES, it also loads
// the system libraries that the client needs before its window (COM, the
// shell, the desktop window manager) and initialises COM as the client does:
// what is left between that and the client is the client's own start-up and
// the embedder's.

#include <windows.h>

#if defined(BARE_WINDOW_WITH_CLIENT_LIBRARIES)
#include <dwmapi.h>
#include <objbase.h>
#include <shellapi.h>
#endif

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
#if defined(BARE_WINDOW_WITH_CLIENT_LIBRARIES)
  int argument_count = 0;
  LocalFree(CommandLineToArgvW(GetCommandLineW(), &argument_count));
  (void)CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // as the client
  BOOL composition = FALSE;
  (void)DwmIsCompositionEnabled(&composition);  // only to import the library
#endif
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
