// What VpnPlugin shares with its connect and monitor threads. Those threads
// are detached and may outlive the plug-in, so they hold this object, never
// the plug-in: it lives as long as the last of them.
//
// Threading rule: the event sink, the channels and every method result are
// used on the platform thread only. A worker hands statuses and replies over
// with SendStatus and RunOnPlatformThread; the only state that threads touch
// directly is the two atomics below.

#ifndef CLIENT_VPN_PLUGIN_CONNECTION_CONTEXT_H_
#define CLIENT_VPN_PLUGIN_CONNECTION_CONTEXT_H_

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "channels/event_sink.h"
#include "client/platform_task.h"
#include "client/vpn_plugin/connection_operations.h"

namespace velk {

class ConnectionContext
    : public std::enable_shared_from_this<ConnectionContext> {
 public:
  // Made on the platform thread, which it records as such.
  ConnectionContext(HWND window, ConnectionOperations operations);

  ConnectionContext(const ConnectionContext&) = delete;
  ConnectionContext& operator=(const ConnectionContext&) = delete;

  const ConnectionOperations& operations() const { return operations_; }

  // True while a monitor thread runs. Written only by exchange.
  std::atomic<bool>& monitoring() { return monitoring_; }
  // Milliseconds since 1970-01-01 00:00 UTC at which the running connection
  // was first seen carrying traffic; 0 for none. Written only by exchange.
  std::atomic<int64_t>& connected_since() { return connected_since_; }

  // Any thread. Dropped when nobody listens when it reaches the platform
  // thread.
  void SendStatus(const std::string& status);

  // Any thread. On the platform thread the task runs at once; otherwise it is
  // posted to the main window, which runs and frees it. Once the plug-in is
  // gone, or when the window takes no more messages, the task is destroyed
  // here without running.
  void RunOnPlatformThread(PlatformTask task);

  // Starts the status monitor unless one runs or the plug-in is gone. False
  // only when a thread could not be started.
  bool StartMonitor();

  // StartMonitor for a connect that has just got the service running. If a
  // monitor is already finishing (it saw the old service stopped), it hands
  // over to a new one instead of leaving this connection unwatched.
  bool StartMonitorAfterConnect();
  // How many connects have asked for a monitor so far.
  uint64_t connects() const { return connects_.load(); }

  // Platform thread: the sink of the current listen, or none.
  void SetEventSink(std::unique_ptr<flutter::EventSink> sink);

  // Platform thread, from the plug-in's destructor: drops the sink, stops
  // posting to the window and starting monitors, so that whatever the
  // workers still do reaches nobody. Call before clearing the monitoring
  // flag.
  void Detach();

 private:
  std::atomic<HWND> window_;
  const DWORD platform_thread_;
  const ConnectionOperations operations_;
  std::atomic<bool> detached_{false};
  std::atomic<bool> monitoring_{false};
  std::atomic<int64_t> connected_since_{0};
  std::atomic<uint64_t> connects_{0};
  std::unique_ptr<flutter::EventSink> event_sink_;  // platform thread only
};

}  // namespace velk

#endif  // CLIENT_VPN_PLUGIN_CONNECTION_CONTEXT_H_
