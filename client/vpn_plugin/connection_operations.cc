#include "client/vpn_plugin/connection_operations.h"

#include "client/provisioning/elevated_setup.h"
#include "client/provisioning/tunnel_data_folder.h"
#include "client/vpn_plugin/tunnel_traffic.h"

namespace velk {

ConnectionOperations SystemConnectionOperations() {
  ConnectionOperations operations;
  operations.service_exists = [] { return TunnelServiceExists(); };
  operations.service_is_current = [](const std::wstring& config_path) {
    return TunnelServiceIsCurrent(config_path);
  };
  operations.start_service = [] { return StartTunnelService(); };
  operations.stop_service = [] { return StopTunnelService(); };
  operations.stop_service_and_wait = [] { StopTunnelServiceAndWait(); };
  operations.query_service_state = [](uint32_t* exit_code) {
    return QueryTunnelServiceState(exit_code);
  };
  operations.run_elevated_setup = [](const std::string& config_text) {
    return RunElevatedSetup(config_text);
  };
  operations.config_path = [] { return GetTunnelConfigPath(); };
  operations.received_bytes = [] { return TunnelReceivedBytes(); };
  operations.monotonic_now = [] { return std::chrono::steady_clock::now(); };
  operations.system_time = [] {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<uint64_t>(now.dwHighDateTime) << 32) |
           now.dwLowDateTime;
  };
  operations.sleep = [](DWORD milliseconds) { ::Sleep(milliseconds); };
  return operations;
}

}  // namespace velk
