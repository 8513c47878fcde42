// The native side of the interface's VPN controls: the method channel
// "tovrane.vpn/control" with "connect", "disconnect", "getStatus" and
// "getConnectedSince", and the event channel "tovrane.vpn/status" on which
// every change of the connection's state is reported as a status string.

#ifndef CLIENT_VPN_PLUGIN_VPN_PLUGIN_H_
#define CLIENT_VPN_PLUGIN_VPN_PLUGIN_H_

#include <windows.h>

#include <memory>
#include <string>

#include "channels/binary_messenger.h"
#include "channels/event_channel.h"
#include "channels/method_call.h"
#include "channels/method_channel.h"
#include "channels/method_result.h"
#include "client/platform_task.h"
#include "client/vpn_plugin/connection_context.h"
#include "client/vpn_plugin/connection_operations.h"

namespace velk {

inline constexpr char kControlChannelName[] = "tovrane.vpn/control";
inline constexpr char kStatusChannelName[] = "tovrane.vpn/status";

class VpnPlugin {
 public:
  // Must run on the platform thread. `window` is the main window, to which
  // worker threads post their tasks (kRunTaskMessage); the messenger must
  // outlive the plug-in's handlers.
  VpnPlugin(flutter::BinaryMessenger* messenger, HWND window);
  // The same with the given service, interface and clocks instead of the
  // system's.
  VpnPlugin(flutter::BinaryMessenger* messenger, HWND window,
            ConnectionOperations operations);
  // Waits for no worker: they keep only what they share with the plug-in,
  // and whatever they send from now on goes nowhere.
  ~VpnPlugin();

  VpnPlugin(const VpnPlugin&) = delete;
  VpnPlugin& operator=(const VpnPlugin&) = delete;

  // The control channel's handler; platform thread.
  void HandleMethodCall(const flutter::MethodCall& call,
                        std::unique_ptr<flutter::MethodResult> result);

  // Any thread.
  void SendStatus(const std::string& status);
  void RunOnPlatformThread(PlatformTask task);
  void StartMonitor();

 private:
  void Connect(const flutter::MethodCall& call,
               std::unique_ptr<flutter::MethodResult> result);
  void Disconnect(std::unique_ptr<flutter::MethodResult> result);
  void GetStatus(std::unique_ptr<flutter::MethodResult> result);

  std::unique_ptr<flutter::MethodChannel> control_channel_;
  std::unique_ptr<flutter::EventChannel> status_channel_;
  // The event sink, the window, the platform thread, the monitoring flag and
  // connected-since, shared with the worker threads.
  std::shared_ptr<ConnectionContext> context_;
};

}  // namespace velk

#endif  // CLIENT_VPN_PLUGIN_VPN_PLUGIN_H_
