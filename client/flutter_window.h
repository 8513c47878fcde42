// The main window: hosts the interface's view and its engine, owns the VPN
// control plug-in, and runs the tasks that worker threads post to the
// platform thread.

#ifndef CLIENT_FLUTTER_WINDOW_H_
#define CLIENT_FLUTTER_WINDOW_H_

#include <windows.h>

#include <memory>

#include "channels/engine_project.h"
#include "channels/flutter_view_controller.h"
#include "client/vpn_plugin/connection_operations.h"
#include "client/vpn_plugin/vpn_plugin.h"
#include "client/win32_window.h"

namespace velk {

class FlutterWindow : public Win32Window {
 public:
  // Nothing native exists until Open().
  explicit FlutterWindow(const flutter::EngineProject& project);
  // The same, with the service, interface and clocks that the VPN plug-in is
  // to use instead of the system's.
  FlutterWindow(const flutter::EngineProject& project,
                ConnectionOperations vpn_operations);
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
  ConnectionOperations vpn_operations_;
  std::unique_ptr<flutter::FlutterViewController> flutter_controller_;
  std::unique_ptr<VpnPlugin> vpn_plugin_;
};

}  // namespace velk

#endif  // CLIENT_FLUTTER_WINDOW_H_
