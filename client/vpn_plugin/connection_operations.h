// What the plug-in's threads do to the world outside the process: the tunnel
// service, the stored configuration's path, the tunnel interface's counters
// and time. The plug-in calls them only through this table, so that tests
// can give it a service, an interface and a clock of their own.

#ifndef CLIENT_VPN_PLUGIN_CONNECTION_OPERATIONS_H_
#define CLIENT_VPN_PLUGIN_CONNECTION_OPERATIONS_H_

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "client/provisioning/tunnel_service.h"

namespace velk {

struct ConnectionOperations {
  // The tunnel service and its provisioning, as client/provisioning/ does it.
  std::function<bool()> service_exists;
  std::function<bool(const std::wstring& config_path)> service_is_current;
  std::function<bool()> start_service;
  std::function<bool()> stop_service;
  std::function<void()> stop_service_and_wait;
  // `exit_code` may be null.
  std::function<TunnelServiceState(uint32_t* exit_code)> query_service_state;
  std::function<bool(const std::string& config_text)> run_elevated_setup;
  std::function<std::wstring()> config_path;

  // Bytes received so far by the tunnel's interfaces; 0 when unknown.
  std::function<uint64_t()> received_bytes;

  // The monotonic clock, the system time (100 ns units since 1601, as
  // FILETIME counts) and a pause of the calling thread.
  std::function<std::chrono::steady_clock::time_point()> monotonic_now;
  std::function<uint64_t()> system_time;
  std::function<void(DWORD milliseconds)> sleep;
};

// The real service, interface table and clocks.
ConnectionOperations SystemConnectionOperations();

}  // namespace velk

#endif  // CLIENT_VPN_PLUGIN_CONNECTION_OPERATIONS_H_
