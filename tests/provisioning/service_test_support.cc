#include "tests/provisioning/service_test_support.h"

#include <vector>

#include "client/provisioning/approved_host_folder.h"
#include "common/tunnel_identity.h"
#include "tests/provisioning/test_tunnel_host_controls.h"
#include "win/scoped_handle.h"

namespace velk::test {
namespace {

ScopedServiceHandle OpenTunnelServiceForTest(DWORD access) {
  ScopedServiceHandle manager(
      OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return ScopedServiceHandle();
  return ScopedServiceHandle(
      OpenServiceW(manager.get(), kTunnelServiceName, access));
}

// The install record's key, opened for reading and writing in the 64-bit view.
HKEY OpenInstallRecordKey() {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kInstallRecordKey, 0, nullptr, 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY,
                      nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return nullptr;
  }
  return key;
}

bool WriteInstallRecord(HKEY key, const std::wstring& folder) {
  return RegSetValueExW(key, kInstallRecordValue, 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(folder.c_str()),
                        static_cast<DWORD>((folder.size() + 1) *
                                           sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace

bool RemoveTunnelService() {
  {
    ScopedServiceHandle service = OpenTunnelServiceForTest(SERVICE_ALL_ACCESS);
    if (!service) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
    SERVICE_STATUS_PROCESS process = {};
    DWORD needed = 0;
    if (QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO,
                             reinterpret_cast<BYTE*>(&process), sizeof(process),
                             &needed) &&
        process.dwProcessId != 0) {
      ScopedKernelHandle release(
          OpenEventW(EVENT_MODIFY_STATE, FALSE,
                     ReleaseEventName(process.dwProcessId).c_str()));
      if (release) SetEvent(release.get());
    }
    SERVICE_STATUS status = {};
    (void)ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    const ULONGLONG deadline = GetTickCount64() + kServiceDeadlineMs;
    while (QueryServiceStatus(service.get(), &status) &&
           status.dwCurrentState != SERVICE_STOPPED &&
           GetTickCount64() < deadline) {
      Sleep(20);
    }
    if (!DeleteService(service.get()) &&
        GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) {
      return false;
    }
  }
  const ULONGLONG deadline = GetTickCount64() + kServiceDeadlineMs;
  do {
    ScopedServiceHandle service =
        OpenTunnelServiceForTest(SERVICE_QUERY_STATUS);
    if (!service && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return true;
    Sleep(20);
  } while (GetTickCount64() < deadline);
  return false;
}

bool SetTunnelServiceCommandLine(const std::wstring& command_line) {
  ScopedServiceHandle service = OpenTunnelServiceForTest(SERVICE_ALL_ACCESS);
  return service && ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE,
                                         SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                         command_line.c_str(), nullptr, nullptr,
                                         nullptr, nullptr, nullptr, nullptr);
}

bool ReadTunnelServiceConfig(InstalledServiceConfig* config) {
  ScopedServiceHandle service = OpenTunnelServiceForTest(SERVICE_QUERY_CONFIG);
  if (!service) return false;
  DWORD size = 0;
  QueryServiceConfigW(service.get(), nullptr, 0, &size);
  if (size == 0) return false;
  std::vector<BYTE> buffer(size, 0);
  auto* read = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!QueryServiceConfigW(service.get(), read, size, &size)) return false;
  config->binary_path = read->lpBinaryPathName ? read->lpBinaryPathName : L"";
  config->display_name = read->lpDisplayName ? read->lpDisplayName : L"";
  config->service_type = read->dwServiceType;
  config->start_type = read->dwStartType;
  config->error_control = read->dwErrorControl;
  return true;
}

bool WaitForTunnelServiceState(TunnelServiceState state, DWORD timeout_ms) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    if (QueryTunnelServiceState() == state) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(20);
  }
}

std::wstring TestHostCommandLine(const std::wstring& config_path,
                                 const std::wstring& extra_arguments) {
  return BuildServiceCommandLine(config_path) + L" " + extra_arguments;
}

ScopedInstallRecord::ScopedInstallRecord(const std::wstring& folder) {
  HKEY key = OpenInstallRecordKey();
  if (key == nullptr) return;
  wchar_t previous[MAX_PATH] = {};
  DWORD bytes = sizeof(previous);
  had_previous_ = RegGetValueW(key, nullptr, kInstallRecordValue, RRF_RT_REG_SZ,
                               nullptr, previous, &bytes) == ERROR_SUCCESS;
  if (had_previous_) previous_ = previous;
  ok_ = WriteInstallRecord(key, folder);
  RegCloseKey(key);
}

ScopedInstallRecord::~ScopedInstallRecord() {
  HKEY key = OpenInstallRecordKey();
  if (key == nullptr) return;
  if (had_previous_) {
    (void)WriteInstallRecord(key, previous_);
  } else {
    (void)RegDeleteValueW(key, kInstallRecordValue);  // none was there
  }
  RegCloseKey(key);
}

}  // namespace velk::test
