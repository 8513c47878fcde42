// The work of one "connect" call, on a thread of its own: build the tunnel
// configuration, get the tunnel service running with it, start the monitor
// and answer the call.

#ifndef CLIENT_VPN_PLUGIN_CONNECT_WORK_H_
#define CLIENT_VPN_PLUGIN_CONNECT_WORK_H_

#include <cstdint>
#include <memory>
#include <string>

#include "channels/method_result.h"
#include "client/vpn_plugin/connection_context.h"

namespace velk {

// Owned by the connect thread.
struct ConnectRequest {
  std::shared_ptr<ConnectionContext> context;
  std::string settings;  // the settings text, UTF-8
  std::string address;
  std::string dns;
  int32_t mtu = 1350;
  // Answered once, with success and no value, on the platform thread.
  std::shared_ptr<flutter::MethodResult> result;
};

// Sends "connecting", then either an error status or nothing (the monitor
// takes over), then the reply: the statuses always reach the interface
// before the reply.
void RunConnect(ConnectRequest request);

}  // namespace velk

#endif  // CLIENT_VPN_PLUGIN_CONNECT_WORK_H_
