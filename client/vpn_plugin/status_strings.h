// The connection statuses that the interface receives on the status channel
// and from "getStatus", as the channel contract spells them.

#ifndef CLIENT_VPN_PLUGIN_STATUS_STRINGS_H_
#define CLIENT_VPN_PLUGIN_STATUS_STRINGS_H_

#include <cstdint>
#include <string>

#include "interfaces/vpn_channels.h"

namespace velk {

using vpn_channels::kStatusConnected;
using vpn_channels::kStatusConnecting;
using vpn_channels::kStatusDisconnected;
using vpn_channels::kStatusErrorPrefix;
using vpn_channels::kStatusNoHandshake;
using vpn_channels::kStatusServiceSetupFailed;

// The error status of a service that stopped with a service-specific code.
std::string ServiceStoppedStatus(uint32_t exit_code);

}  // namespace velk

#endif  // CLIENT_VPN_PLUGIN_STATUS_STRINGS_H_
