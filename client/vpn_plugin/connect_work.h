// The connection worker: carries out the service work of the user's
// requests, one piece at a time, in the order they were asked. At most one
// worker thread runs per plug-in; it starts when work arrives and ends when
// none waits. Everything that changes the tunnel service for the plug-in
// (stop, store, start, the elevated setup and its prompt, a monitor's stop
// of a silent tunnel) runs here, so none of it overlaps, except the stop of
// a "disconnect" that finds no work under way.

#ifndef CLIENT_VPN_PLUGIN_CONNECT_WORK_H_
#define CLIENT_VPN_PLUGIN_CONNECT_WORK_H_

#include <memory>

#include "client/vpn_plugin/connection_context.h"

namespace velk {

// The body of the worker thread. Started only by the context, which marked
// the worker as running; the thread's own copy of `context` keeps it alive
// while this runs.
void RunConnectionWorker(const std::shared_ptr<ConnectionContext>& context);

}  // namespace velk

#endif  // CLIENT_VPN_PLUGIN_CONNECT_WORK_H_
