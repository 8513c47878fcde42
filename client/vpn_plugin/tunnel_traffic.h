// How much the tunnel's network interface has received: the sign that the
// tunnel's peer answers.

#ifndef CLIENT_VPN_PLUGIN_TUNNEL_TRAFFIC_H_
#define CLIENT_VPN_PLUGIN_TUNNEL_TRAFFIC_H_

#include <cstdint>

#include "win/ip_helper.h"

namespace velk {

// The sum of the received-octet counters of every interface whose alias
// IsTunnelAlias accepts for the tunnel name; 0 when the interface table
// cannot be read or no interface matches.
uint64_t TunnelReceivedBytes(const IpHelper& ip_helper);

// The same through the system's IP helper functions.
uint64_t TunnelReceivedBytes();

}  // namespace velk

#endif  // CLIENT_VPN_PLUGIN_TUNNEL_TRAFFIC_H_
