#include "client/win32_window.h"

#include <dwmapi.h>

#include <utility>

#include "client/resources/resource.h"
#include "interfaces/embedder.h"
#include "win/scoped_handle.h"

namespace velk {
namespace {

// Window objects alive in the process. Windows live on the platform thread
// only, so a plain counter is enough.
int live_windows = 0;

constexpr wchar_t kThemeKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr wchar_t kThemeValue[] = L"AppsUseLightTheme";
constexpr DWORD kUseImmersiveDarkMode = 20;  // DWMWA_USE_IMMERSIVE_DARK_MODE

// Whether the window class is registered. Created on first use and never
// freed, so that it outlives any window object destroyed during exit.
class WindowClassRegistry {
 public:
  static WindowClassRegistry& Get() {
    static WindowClassRegistry* registry = new WindowClassRegistry();
    return *registry;
  }

  // The class name, registered first if it is not yet.
  const wchar_t* GetWindowClass() {
    if (!class_registered_) {
      WNDCLASSW window_class = {};
      window_class.style = CS_HREDRAW | CS_VREDRAW;
      window_class.lpfnWndProc = Win32Window::WindowProcedure;
      window_class.hInstance = GetModuleHandleW(nullptr);
      window_class.hIcon =
          LoadIconW(window_class.hInstance, MAKEINTRESOURCEW(IDI_APP_ICON));
      window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
      window_class.lpszClassName = kWindowClassName;
      // A failure here shows as a failed CreateWindowExW; asking again
      // would fail the same way.
      (void)RegisterClassW(&window_class);
      class_registered_ = true;
    }
    return kWindowClassName;
  }

  void UnregisterWindowClass() {
    (void)UnregisterClassW(kWindowClassName, nullptr);  // fine if never made
    class_registered_ = false;
  }

 private:
  bool class_registered_ = false;
};

int ScaleToPixels(int logical, double scale) {
  return static_cast<int>(logical * scale);
}

// Scales the non-client area (caption, borders) with the DPI on systems
// that can; older ones lack the function and keep an unscaled frame.
void EnableFrameScaling(HWND window) {
  ScopedModule user32(LoadLibraryA("User32.dll"));
  if (!user32) return;
  using EnableNonClientDpiScalingFunction = BOOL(WINAPI*)(HWND);
  auto enable = reinterpret_cast<EnableNonClientDpiScalingFunction>(
      reinterpret_cast<void*>(
          GetProcAddress(user32.get(), "EnableNonClientDpiScaling")));
  if (enable != nullptr) (void)enable(window);  // unscaled frame on failure
}

}  // namespace

Win32Window::Win32Window() { ++live_windows; }

Win32Window::~Win32Window() {
  // Lowered first, so that the teardown below unregisters the class when
  // this is the last window object.
  --live_windows;
  Teardown();
}

bool Win32Window::Open(const std::wstring& title, const Point& origin,
                       const Size& size) {
  Dispose();
  const wchar_t* window_class = WindowClassRegistry::Get().GetWindowClass();

  const POINT target = {origin.x, origin.y};
  HMONITOR monitor = MonitorFromPoint(target, MONITOR_DEFAULTTONEAREST);
  const double scale = FlutterDesktopGetDpiForMonitor(monitor) / 96.0;

  HWND window = CreateWindowExW(
      0, window_class, title.c_str(), WS_OVERLAPPEDWINDOW,
      ScaleToPixels(origin.x, scale), ScaleToPixels(origin.y, scale),
      ScaleToPixels(size.width, scale), ScaleToPixels(size.height, scale),
      nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (window == nullptr) return false;

  ApplySystemTheme(window);
  return OnWindowCreated();
}

bool Win32Window::Show() {
  return ShowWindow(window_handle_, SW_SHOWNORMAL) != FALSE;
}

void Win32Window::Dispose() { Teardown(); }

void Win32Window::AttachContent(HWND content) {
  content_handle_ = content;
  SetParent(content, window_handle_);
  const RECT bounds = ClientBounds();
  MoveWindow(content, bounds.left, bounds.top, bounds.right - bounds.left,
             bounds.bottom - bounds.top, TRUE);
  SetFocus(content);
}

RECT Win32Window::ClientBounds() const {
  RECT bounds = {};
  GetClientRect(window_handle_, &bounds);
  return bounds;
}

LRESULT CALLBACK Win32Window::WindowProcedure(HWND window, UINT message,
                                              WPARAM wparam,
                                              LPARAM lparam) noexcept {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    auto* self = static_cast<Win32Window*>(create->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    EnableFrameScaling(window);
    self->window_handle_ = window;
    return DefWindowProcW(window, message, wparam, lparam);
  }
  auto* self =
      reinterpret_cast<Win32Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr) {
    return self->HandleMessage(window, message, wparam, lparam);
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT Win32Window::HandleMessage(HWND window, UINT message, WPARAM wparam,
                                   LPARAM lparam) {
  switch (message) {
    case WM_DESTROY:
      // The system is destroying the window already: forget it first, so
      // that the teardown does not destroy it a second time.
      window_handle_ = nullptr;
      Teardown();
      if (quit_when_closed_) PostQuitMessage(0);
      return 0;

    case WM_SIZE:
      if (content_handle_ != nullptr) {
        const RECT bounds = ClientBounds();
        MoveWindow(content_handle_, bounds.left, bounds.top,
                   bounds.right - bounds.left, bounds.bottom - bounds.top,
                   TRUE);
      }
      return 0;

    case WM_ACTIVATE:
      if (content_handle_ != nullptr) SetFocus(content_handle_);
      return 0;

    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(window, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left,
                   suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }

    case WM_DWMCOLORIZATIONCOLORCHANGED:
      ApplySystemTheme(window);
      return 0;
  }
  // The window the message is for, not the recorded handle: after
  // WM_DESTROY the record is empty, and the last messages (WM_NCDESTROY)
  // still need their default handling.
  return DefWindowProcW(window, message, wparam, lparam);
}

bool Win32Window::OnWindowCreated() { return true; }

void Win32Window::OnWindowDestroyed() {}

void Win32Window::Teardown() {
  OnWindowDestroyed();
  if (window_handle_ != nullptr) {
    // Forgotten before the call: DestroyWindow sends WM_DESTROY, whose
    // teardown must not destroy the window again.
    DestroyWindow(std::exchange(window_handle_, nullptr));
  }
  if (live_windows == 0) WindowClassRegistry::Get().UnregisterWindowClass();
}

void ApplySystemTheme(HWND window) {
  DWORD light_theme = 0;
  DWORD size = sizeof(light_theme);
  if (RegGetValueW(HKEY_CURRENT_USER, kThemeKey, kThemeValue, RRF_RT_REG_DWORD,
                   nullptr, &light_theme, &size) != ERROR_SUCCESS) {
    return;
  }
  const BOOL dark_mode = light_theme == 0;
  // Systems without dark frames refuse the attribute; the frame stays light.
  (void)DwmSetWindowAttribute(window, kUseImmersiveDarkMode, &dark_mode,
                              sizeof(dark_mode));
}

}  // namespace velk
