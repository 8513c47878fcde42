// The native side of the interface's VPN controls: the method channel with
// "connect", "disconnect", "getStatus" and "getConnectedSince", and the
// event channel on which every change of the connection's state is
// reported as a status string (interfaces/vpn_channels.h).

#ifndef CLIENT_VPN_PLUGIN_VPN_PLUGIN_H_
#define CLIENT_VPN_PLUGIN_VPN_PLUGIN_H_

#include <windows.h>

#include <memory>

#include "channels/binary_messenger.h"
#include "channels/event_channel.h"
#include "channels/method_call.h"
#include "channels/method_channel.h"
#include "channels/method_result.h"
#include "client/vpn_plugin/connection_context.h"
#include "client/vpn_plugin/outside_world.h"
#include "common/thread_checker.h"

namespace velk {

class VpnPlugin {
 public:
  // Must run on the platform thread. `window` is the main window, to which
  // worker threads post their tasks (kRunTaskMessage); the messenger must
  // outlive the plug-in's handlers. `world` is the service, file, setup,
  // counters and clock that the plug-in acts on.
  VpnPlugin(flutter::BinaryMessenger* messenger, HWND window,
            OutsideWorld world);
  // Waits for no worker: they keep only what they share with the plug-in,
  // and whatever they send from now on goes nowhere.
  ~VpnPlugin();

  VpnPlugin(const VpnPlugin&) = delete;
  VpnPlugin& operator=(const VpnPlugin&) = delete;

  // The control channel's handler; platform thread (checked).
  void HandleMethodCall(const flutter::MethodCall& call,
                        std::unique_ptr<flutter::MethodResult> result);

 private:
  void Connect(const flutter::MethodCall& call,
               std::unique_ptr<flutter::MethodResult> result);

  const ThreadChecker platform_thread_;
  std::unique_ptr<flutter::MethodChannel> control_channel_;
  std::unique_ptr<flutter::EventChannel> status_channel_;
  // The event sink, the window, the requests, the monitor and
  // connected-since, shared with the worker threads.
  std::shared_ptr<ConnectionContext> context_;
};

}  // namespace velk

#endif  // CLIENT_VPN_PLUGIN_VPN_PLUGIN_H_
