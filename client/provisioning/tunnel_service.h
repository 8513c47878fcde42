#ifndef CLIENT_PROVISIONING_TUNNEL_SERVICE_H_
#define CLIENT_PROVISIONING_TUNNEL_SERVICE_H_

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

// The tunnel service "TovraneVPNTunnel" as the client sees it through the
// service control manager. Every operation opens its own handles with the
// least access it needs and closes them before it returns; results are plain
// booleans, and only "already exists", "already running" and "not active" are
// told apart from other failures.
namespace velk {

// Rights the interactive user gets on the service: GENERIC_READ |
// SERVICE_STOP | SERVICE_START | SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG.
inline constexpr DWORD kServiceUserRights = 0x80000035;

enum class TunnelServiceState { Stopped = 0, Starting = 1, Running = 2 };

// Pauses the stop-and-wait loop between two polls. The real one sleeps.
using StopWaitSleeper = std::function<void(DWORD milliseconds)>;

// Installs the service for `config_path`, or reconfigures the one that exists,
// and grants `user_sid` the right to start, stop and query it. Refuses, and
// leaves the service as it is, when this program's folder is not one that an
// administrator approved (approved_host_folder.h).
bool InstallTunnelService(const std::wstring& config_path, PSID user_sid);

bool TunnelServiceExists();

// Whether the installed service runs this client's host for `config_path`
// (program path compared ignoring case) with the unrestricted service SID.
bool TunnelServiceIsCurrent(const std::wstring& config_path);

// A service that is already running counts as started.
bool StartTunnelService();

// Asks the service to stop without waiting; one that is not running counts as
// stopped.
bool StopTunnelService();

// Asks the service to stop, then polls until it reports stopped and the
// process that ran its host has ended: at most 100 pauses of 100 ms. Reports
// nothing, whatever the state at the end.
void StopTunnelServiceAndWait(const StopWaitSleeper& sleep = ::Sleep);

// The service's state; `exit_code`, when given, receives the service-specific
// exit code (0 when the service is missing or cannot be queried).
TunnelServiceState QueryTunnelServiceState(uint32_t* exit_code = nullptr);

// The quoted host path, the quoted configuration path and the quoted tunnel
// name, separated by single spaces.
std::wstring BuildServiceCommandLine(const std::wstring& config_path);

}  // namespace velk

#endif  // CLIENT_PROVISIONING_TUNNEL_SERVICE_H_
