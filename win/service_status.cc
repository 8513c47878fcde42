#include "win/service_status.h"

namespace velk {

bool ReportServiceStatus(SERVICE_STATUS_HANDLE handle, DWORD state,
                         DWORD running_controls, DWORD service_exit_code,
                         DWORD start_wait_hint_ms) {
  SERVICE_STATUS status = {};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? running_controls : 0;
  status.dwWin32ExitCode =
      service_exit_code == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
  status.dwServiceSpecificExitCode = service_exit_code;
  status.dwWaitHint = state == SERVICE_START_PENDING ? start_wait_hint_ms : 0;
  return SetServiceStatus(handle, &status) != FALSE;
}

}  // namespace velk
