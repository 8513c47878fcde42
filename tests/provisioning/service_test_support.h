#ifndef TESTS_PROVISIONING_SERVICE_TEST_SUPPORT_H_
#define TESTS_PROVISIONING_SERVICE_TEST_SUPPORT_H_

#include <windows.h>

#include <string>

#include "client/provisioning/tunnel_service.h"

// Direct access to the tunnel service for tests, beside the operations under
// test: suites share one service control manager, so each case starts from
// a removed service and removes it again.
namespace velk::test {

// How long a test waits for the service manager or a service to get where it
// must. Generous: the suites run in parallel on loaded machines, and a wait
// that succeeds ends as soon as it does.
inline constexpr DWORD kServiceDeadlineMs = 30000;

// Ends the service's process (also a test host that ignores stop requests),
// deletes the service and waits until it is gone.
bool RemoveTunnelService();

// Replaces the installed service's command line.
bool SetTunnelServiceCommandLine(const std::wstring& command_line);

struct InstalledServiceConfig {
  std::wstring binary_path;
  std::wstring display_name;
  DWORD service_type = 0;
  DWORD start_type = 0;
  DWORD error_control = 0;
};

bool ReadTunnelServiceConfig(InstalledServiceConfig* config);

// Polls the service's state every 20 ms until it is `state`.
bool WaitForTunnelServiceState(TunnelServiceState state,
                               DWORD timeout_ms = kServiceDeadlineMs);

// The test host in this program's folder, with extra arguments after the
// usual three.
std::wstring TestHostCommandLine(const std::wstring& config_path,
                                 const std::wstring& extra_arguments);

// Records `folder` in the registry as the installed client's folder, as an
// installer does, so that the service may run the host beside it; the record
// that was there before comes back when this ends.
class ScopedInstallRecord {
 public:
  explicit ScopedInstallRecord(const std::wstring& folder);
  ~ScopedInstallRecord();
  ScopedInstallRecord(const ScopedInstallRecord&) = delete;
  ScopedInstallRecord& operator=(const ScopedInstallRecord&) = delete;

  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
  bool had_previous_ = false;
  std::wstring previous_;
};

}  // namespace velk::test

#endif  // TESTS_PROVISIONING_SERVICE_TEST_SUPPORT_H_
