// What a program that runs as a service tells the service control manager
// about itself.

#ifndef WIN_SERVICE_STATUS_H_
#define WIN_SERVICE_STATUS_H_

#include <windows.h>

namespace velk {

// Reports `state` for the own-process service behind `handle`. A running
// service accepts `running_controls`; a nonzero `service_exit_code` is
// reported as a service-specific error, which other processes read once the
// service has stopped. A pending start announces `start_wait_hint_ms`.
bool ReportServiceStatus(SERVICE_STATUS_HANDLE handle, DWORD state,
                         DWORD running_controls, DWORD service_exit_code = 0,
                         DWORD start_wait_hint_ms = 0);

}  // namespace velk

#endif  // WIN_SERVICE_STATUS_H_
