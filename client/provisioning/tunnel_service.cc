#include "client/provisioning/tunnel_service.h"

#include <aclapi.h>

#include <cwchar>
#include <vector>

#include "client/provisioning/access_entries.h"
#include "client/provisioning/approved_host_folder.h"
#include "common/tunnel_identity.h"
#include "win/program_path.h"
#include "win/scoped_handle.h"

namespace velk {
namespace {

// "Nsi" and "TcpIp" as a list that ends in an empty entry.
constexpr wchar_t kServiceDependencies[] = L"Nsi\0TcpIp\0";

constexpr DWORD kStopPollIntervalMs = 100;
constexpr int kStopPollLimit = 100;

ScopedServiceHandle OpenManager(DWORD access) {
  return ScopedServiceHandle(OpenSCManagerW(nullptr, nullptr, access));
}

ScopedServiceHandle OpenTunnelService(const ScopedServiceHandle& manager,
                                      DWORD access) {
  return ScopedServiceHandle(
      OpenServiceW(manager.get(), kTunnelServiceName, access));
}

// Windows has per-service SID types; where the platform answers that the
// information level is unknown (Wine), it has none, and the service can do
// without.
bool PlatformLacksServiceSids(DWORD error) {
  return error == ERROR_INVALID_LEVEL;
}

bool SetUnrestrictedServiceSid(SC_HANDLE service) {
  SERVICE_SID_INFO sid_info = {};
  sid_info.dwServiceSidType = SERVICE_SID_TYPE_UNRESTRICTED;
  if (ChangeServiceConfig2W(service, SERVICE_CONFIG_SERVICE_SID_INFO,
                            &sid_info)) {
    return true;
  }
  return PlatformLacksServiceSids(GetLastError());
}

bool HasUnrestrictedServiceSid(SC_HANDLE service) {
  DWORD sid_type = 0;
  DWORD needed = 0;
  if (QueryServiceConfig2W(service, SERVICE_CONFIG_SERVICE_SID_INFO,
                           reinterpret_cast<BYTE*>(&sid_type), sizeof(sid_type),
                           &needed)) {
    return sid_type == SERVICE_SID_TYPE_UNRESTRICTED;
  }
  return PlatformLacksServiceSids(GetLastError());
}

// Adds the user's entry to the access list of an open service; entries
// already there stay.
bool GrantServiceAccess(SC_HANDLE service, PSID user_sid) {
  DWORD size = 0;
  QueryServiceObjectSecurity(service, DACL_SECURITY_INFORMATION, nullptr, 0,
                             &size);
  if (size == 0) return false;
  std::vector<BYTE> descriptor(size, 0);
  if (!QueryServiceObjectSecurity(service, DACL_SECURITY_INFORMATION,
                                  descriptor.data(), size, &size)) {
    return false;
  }

  BOOL dacl_present = FALSE;
  BOOL dacl_defaulted = FALSE;
  PACL old_dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor.data(), &dacl_present, &old_dacl,
                                 &dacl_defaulted)) {
    return false;
  }

  EXPLICIT_ACCESS_W entry = ServiceUserEntry(user_sid);
  ScopedLocalPointer<PACL> merged;
  if (SetEntriesInAclW(1, &entry, old_dacl, merged.receive()) !=
      ERROR_SUCCESS) {
    return false;
  }

  SECURITY_DESCRIPTOR updated;
  if (!InitializeSecurityDescriptor(&updated, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&updated, TRUE, merged.get(), FALSE)) {
    return false;
  }
  return SetServiceObjectSecurity(service, DACL_SECURITY_INFORMATION,
                                  &updated) != FALSE;
}

// The process that runs the service's host, for waiting on its end: the
// host reports "stopped" before its teardown (the endpoint route's removal
// among it) is over, and a host started in that window would meet it. None
// when the service has no process or it cannot be opened, and the wait then
// ends at "stopped".
ScopedKernelHandle OpenHostProcess(SC_HANDLE service) {
  SERVICE_STATUS_PROCESS status = {};
  DWORD needed = 0;
  if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                            reinterpret_cast<BYTE*>(&status), sizeof(status),
                            &needed) ||
      status.dwProcessId == 0) {
    return ScopedKernelHandle();
  }
  return ScopedKernelHandle(
      OpenProcess(SYNCHRONIZE, FALSE, status.dwProcessId));
}

}  // namespace

std::wstring BuildServiceCommandLine(const std::wstring& config_path) {
  std::wstring command_line = L"\"";
  command_line += GetProgramFolder();
  command_line += L"\\";
  command_line += kTunnelHostProgram;
  command_line += L"\" \"";
  command_line += config_path;
  command_line += L"\" \"";
  command_line += kTunnelName;
  command_line += L"\"";
  return command_line;
}

bool InstallTunnelService(const std::wstring& config_path, PSID user_sid) {
  // The service runs its host as LocalSystem: only a host that an
  // administrator put in place, and the service is left as it is otherwise.
  if (!HostFolderIsApproved(GetProgramFolder())) return false;
  ScopedServiceHandle manager =
      OpenManager(SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE);
  if (!manager) return false;
  const std::wstring command_line = BuildServiceCommandLine(config_path);

  ScopedServiceHandle service(CreateServiceW(
      manager.get(), kTunnelServiceName, kTunnelServiceName, SERVICE_ALL_ACCESS,
      SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
      command_line.c_str(), nullptr, nullptr, kServiceDependencies, nullptr,
      nullptr));
  if (!service) {
    if (GetLastError() != ERROR_SERVICE_EXISTS) return false;
    service = OpenTunnelService(manager, SERVICE_ALL_ACCESS);
    if (!service) return false;
    // A failed reconfiguration is deliberately not fatal: it leaves an older
    // command line in place, which the next currency check reports.
    (void)ChangeServiceConfigW(
        service.get(), SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
        SERVICE_ERROR_NORMAL, command_line.c_str(), L"", nullptr,
        kServiceDependencies, nullptr, nullptr, kTunnelServiceName);
  }

  if (!SetUnrestrictedServiceSid(service.get())) return false;
  return GrantServiceAccess(service.get(), user_sid);
}

bool TunnelServiceExists() {
  ScopedServiceHandle manager = OpenManager(SC_MANAGER_CONNECT);
  if (!manager) return false;
  return OpenTunnelService(manager, SERVICE_QUERY_STATUS).is_valid();
}

bool TunnelServiceIsCurrent(const std::wstring& config_path) {
  ScopedServiceHandle manager = OpenManager(SC_MANAGER_CONNECT);
  if (!manager) return false;
  ScopedServiceHandle service =
      OpenTunnelService(manager, SERVICE_QUERY_CONFIG);
  if (!service) return false;

  DWORD size = 0;
  QueryServiceConfigW(service.get(), nullptr, 0, &size);
  if (size == 0) return false;
  std::vector<BYTE> buffer(size, 0);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!QueryServiceConfigW(service.get(), config, size, &size)) return false;
  if (config->lpBinaryPathName == nullptr) return false;

  const std::wstring expected = BuildServiceCommandLine(config_path);
  if (_wcsicmp(config->lpBinaryPathName, expected.c_str()) != 0) return false;
  return HasUnrestrictedServiceSid(service.get());
}

bool StartTunnelService() {
  ScopedServiceHandle manager = OpenManager(SC_MANAGER_CONNECT);
  if (!manager) return false;
  ScopedServiceHandle service = OpenTunnelService(manager, SERVICE_START);
  if (!service) return false;
  if (StartServiceW(service.get(), 0, nullptr)) return true;
  return GetLastError() == ERROR_SERVICE_ALREADY_RUNNING;
}

bool StopTunnelService() {
  ScopedServiceHandle manager = OpenManager(SC_MANAGER_CONNECT);
  if (!manager) return false;
  ScopedServiceHandle service =
      OpenTunnelService(manager, SERVICE_STOP | SERVICE_QUERY_STATUS);
  if (!service) return false;
  SERVICE_STATUS status = {};
  if (ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
    return true;
  }
  return GetLastError() == ERROR_SERVICE_NOT_ACTIVE;
}

void StopTunnelServiceAndWait(const StopWaitSleeper& sleep) {
  ScopedServiceHandle manager = OpenManager(SC_MANAGER_CONNECT);
  ScopedServiceHandle service;
  if (manager) service = OpenTunnelService(manager, SERVICE_QUERY_STATUS);
  // Opened before the stop, while the service still names its process.
  ScopedKernelHandle host;
  if (service) host = OpenHostProcess(service.get());

  // The stop request may fail because the service is already stopped or
  // missing; the polls below find out either way.
  (void)StopTunnelService();
  if (!service) return;

  for (int pauses = 0; pauses < kStopPollLimit; ++pauses) {
    SERVICE_STATUS status = {};
    const bool stopped = !QueryServiceStatus(service.get(), &status) ||
                         status.dwCurrentState == SERVICE_STOPPED;
    if (stopped &&
        (!host || WaitForSingleObject(host.get(), 0) != WAIT_TIMEOUT)) {
      return;
    }
    sleep(kStopPollIntervalMs);
  }
}

TunnelServiceState QueryTunnelServiceState(uint32_t* exit_code) {
  if (exit_code != nullptr) *exit_code = 0;
  ScopedServiceHandle manager = OpenManager(SC_MANAGER_CONNECT);
  if (!manager) return TunnelServiceState::Stopped;
  ScopedServiceHandle service =
      OpenTunnelService(manager, SERVICE_QUERY_STATUS);
  if (!service) return TunnelServiceState::Stopped;

  SERVICE_STATUS_PROCESS status = {};
  DWORD needed = 0;
  const BOOL queried = QueryServiceStatusEx(
      service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
      sizeof(status), &needed);
  service.reset();
  manager.reset();
  if (!queried) return TunnelServiceState::Stopped;

  if (exit_code != nullptr) *exit_code = status.dwServiceSpecificExitCode;
  switch (status.dwCurrentState) {
    case SERVICE_RUNNING:
      return TunnelServiceState::Running;
    case SERVICE_START_PENDING:
    case SERVICE_CONTINUE_PENDING:
      return TunnelServiceState::Starting;
    default:
      return TunnelServiceState::Stopped;
  }
}

}  // namespace velk
