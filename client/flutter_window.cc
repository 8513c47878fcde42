#include "client/flutter_window.h"

#include <optional>
#include <utility>

#include "client/app_plugins.h"
#include "client/platform_task.h"

namespace velk {
namespace {

// Runs a task that a worker posted, once, and frees it.
void RunPostedTask(LPARAM lparam) {
  std::unique_ptr<PlatformTask> task(reinterpret_cast<PlatformTask*>(lparam));
  if (task && *task) (*task)();
}

// Tasks still queued for a window that is going would never be delivered:
// the system drops a destroyed window's messages, and with them the only
// pointer to each task. They are freed here, without running: whatever they
// would have answered is gone with the engine.
void DiscardQueuedTasks(HWND window) {
  MSG queued;
  while (PeekMessageW(&queued, window, kRunTaskMessage, kRunTaskMessage,
                      PM_REMOVE)) {
    if (queued.message == WM_QUIT) {
      // The quit message passes every filter, after the messages that
      // match it: every task is freed by now, and the quit goes back for
      // the message loop.
      PostQuitMessage(static_cast<int>(queued.wParam));
      return;
    }
    delete reinterpret_cast<PlatformTask*>(queued.lParam);
  }
}

}  // namespace

FlutterWindow::FlutterWindow(const flutter::EngineProject& project,
                             VpnPluginMaker make_vpn_plugin)
    : project_(project), make_vpn_plugin_(std::move(make_vpn_plugin)) {}

FlutterWindow::~FlutterWindow() {
  vpn_plugin_.reset();
  flutter_controller_.reset();
  // A native window that still exists is destroyed by the base destructor,
  // which no longer reaches this class's handler: free its tasks now.
  if (NativeHandle() != nullptr) DiscardQueuedTasks(NativeHandle());
}

bool FlutterWindow::OnWindowCreated() {
  if (!Win32Window::OnWindowCreated()) return false;

  const RECT frame = ClientBounds();
  flutter_controller_ = std::make_unique<flutter::FlutterViewController>(
      frame.right - frame.left, frame.bottom - frame.top, project_);
  if (flutter_controller_->GetEngine() == nullptr ||
      flutter_controller_->GetView() == nullptr) {
    return false;
  }
  flutter::FlutterEngine* engine = flutter_controller_->GetEngine();
  RegisterAppPlugins(engine);
  if (make_vpn_plugin_) {
    vpn_plugin_ = make_vpn_plugin_(engine->GetMessenger(), NativeHandle());
  }
  AttachContent(flutter_controller_->GetView()->GetHWND());

  // Shown only once the interface has drawn, so the user never sees an
  // empty frame. The forced redraw makes sure that a frame comes even when
  // the interface has nothing new to draw.
  engine->SetNextFrameCallback([this] { this->Show(); });
  flutter_controller_->ForceRedraw();
  return true;
}

void FlutterWindow::OnWindowDestroyed() {
  flutter_controller_.reset();
  Win32Window::OnWindowDestroyed();
}

LRESULT FlutterWindow::HandleMessage(HWND window, UINT message, WPARAM wparam,
                                     LPARAM lparam) {
  if (flutter_controller_) {
    std::optional<LRESULT> result =
        flutter_controller_->HandleTopLevelWindowProc(window, message, wparam,
                                                      lparam);
    if (result) return *result;
  }

  switch (message) {
    case WM_FONTCHANGE:
      if (flutter_controller_) {
        flutter_controller_->GetEngine()->ReloadSystemFonts();
      }
      break;
    case kRunTaskMessage:
      RunPostedTask(lparam);
      return 0;
    case WM_NCDESTROY:
      DiscardQueuedTasks(window);
      break;
  }
  return Win32Window::HandleMessage(window, message, wparam, lparam);
}

}  // namespace velk
