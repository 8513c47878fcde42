// A small reusable top-level window: it registers its window class, scales
// its placement to the monitor's DPI, follows the user's light or dark theme,
// keeps one child window (the content) filling its client area, and routes
// every message to an overridable handler.

#ifndef CLIENT_WIN32_WINDOW_H_
#define CLIENT_WIN32_WINDOW_H_

#include <windows.h>

#include <string>

namespace velk {

// The class of the main window, registered while any window object lives.
inline constexpr wchar_t kWindowClassName[] = L"FLUTTER_RUNNER_WIN32_WINDOW";

class Win32Window {
 public:
  // Placement in logical units (96 DPI).
  struct Point {
    int x;
    int y;
  };
  struct Size {
    int width;
    int height;
  };

  Win32Window();
  virtual ~Win32Window();

  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  // Creates the native window, hidden, scaled to the DPI of the monitor
  // nearest to `origin`; an earlier native window is destroyed first. True
  // when the window exists and OnWindowCreated() agreed.
  bool Open(const std::wstring& title, const Point& origin, const Size& size);

  // Shows the window in its normal state; the system's answer.
  bool Show();

  // Destroys the native window, if there is one.
  void Dispose();

  // Makes `content` a child of this window that fills its client area.
  void AttachContent(HWND content);

  HWND NativeHandle() const { return window_handle_; }
  RECT ClientBounds() const;

  // When set, destroying the native window ends the thread's message loop.
  void SetQuitWhenClosed(bool quit_when_closed) {
    quit_when_closed_ = quit_when_closed;
  }

  // The window class's procedure: routes every message to the HandleMessage
  // of the object that created the window.
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message,
                                          WPARAM wparam,
                                          LPARAM lparam) noexcept;

 protected:
  virtual LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam,
                                LPARAM lparam);

  // Called once the native window exists; false makes Open() fail.
  virtual bool OnWindowCreated();

  // Called while the native window is being destroyed.
  virtual void OnWindowDestroyed();

 private:
  // Runs OnWindowDestroyed(), destroys the native window if one is still
  // recorded, and unregisters the window class once no window object is
  // left.
  void Teardown();

  bool quit_when_closed_ = false;
  HWND window_handle_ = nullptr;
  HWND content_handle_ = nullptr;
};

// Sets the window's dark-mode frame from the user's "AppsUseLightTheme"
// setting; leaves the window as it is when the setting cannot be read.
void ApplySystemTheme(HWND window);

}  // namespace velk

#endif  // CLIENT_WIN32_WINDOW_H_
