// The main window: hosts the interface's view and its engine, owns the VPN
// control plug-in, and runs the tasks that worker threads post to the
// platform thread.

#ifndef CLIENT_FLUTTER_WINDOW_H_
#define CLIENT_FLUTTER_WINDOW_H_

#include <windows.h>

#include <functional>
#include <memory>

#include "channels/binary_messenger.h"
#include "channels/engine_project.h"
#include "channels/flutter_view_controller.h"
#include "client/vpn_plugin/vpn_plugin.h"
#include "client/win32_window.h"

namespace velk {

// Makes the VPN plug-in on the engine's messenger for the main window, once
// both exist.
using VpnPluginMaker = std::function<std::unique_ptr<VpnPlugin>(
    flutter::BinaryMessenger* messenger, HWND window)>;

class FlutterWindow : public Win32Window {
 public:
  // Nothing native exists until Open(). The window hosts the plug-in that
  // `make_vpn_plugin` makes; an empty maker leaves it without one.
  FlutterWindow(const flutter::EngineProject& project,
                VpnPluginMaker make_vpn_plugin);
  ~FlutterWindow() override;

 protected:
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam,
                        LPARAM lparam) override;
  bool OnWindowCreated() override;
  void OnWindowDestroyed() override;

 private:
  // Field order is destruction order in reverse: the plug-in goes before
  // the view controller, the controller before the project.
  flutter::EngineProject project_;
  VpnPluginMaker make_vpn_plugin_;
  std::unique_ptr<flutter::FlutterViewController> flutter_controller_;
  std::unique_ptr<VpnPlugin> vpn_plugin_;
};

}  // namespace velk

#endif  // CLIENT_FLUTTER_WINDOW_H_
