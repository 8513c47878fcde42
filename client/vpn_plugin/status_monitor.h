// The status monitor of one connection: once a second it turns the tunnel
// service's state and the tunnel interface's counters into a status, until
// the service stops, the tunnel gives up waiting for its peer, or a newer
// connection or the plug-in's end makes it stale; a stale monitor ends
// without sending anything.

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

// The body of a monitor thread. Started only by the context, which made
// `monitor` the current one; the thread's own copy of `context` keeps it
// alive while this runs.
void RunMonitor(const std::shared_ptr<ConnectionContext>& context,
                uint64_t monitor);

// Milliseconds since 1970-01-01 00:00 UTC from a system time in 100 ns units
// since 1601-01-01.
int64_t UnixMillisecondsFromSystemTime(uint64_t system_time);

}  // namespace velk

#endif  // CLIENT_VPN_PLUGIN_STATUS_MONITOR_H_
