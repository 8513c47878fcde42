// The status monitor: once a second it turns the tunnel service's state and
// the tunnel interface's counters into a status, until the service stops,
// the tunnel gives up waiting for its peer, or the plug-in goes away.

#ifndef CLIENT_VPN_PLUGIN_STATUS_MONITOR_H_
#define CLIENT_VPN_PLUGIN_STATUS_MONITOR_H_

#include <chrono>
#include <cstdint>
#include <memory>

#include "client/vpn_plugin/connection_context.h"

namespace velk {

// How long a running service may go without receiving a byte before the
// monitor stops it. A poll at exactly this age still waits.
inline constexpr std::chrono::nanoseconds kHandshakeAllowance =
    std::chrono::seconds(30);

// The body of the monitor thread. Started only through
// ConnectionContext::StartMonitor, which set the monitoring flag.
void RunMonitor(std::shared_ptr<ConnectionContext> context);

// Milliseconds since 1970-01-01 00:00 UTC from a system time in 100 ns units
// since 1601-01-01.
int64_t UnixMillisecondsFromSystemTime(uint64_t system_time);

}  // namespace velk

#endif  // CLIENT_VPN_PLUGIN_STATUS_MONITOR_H_
