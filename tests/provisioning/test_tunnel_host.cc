// A stand-in for the tunnel host that the provisioning tests install as the
// tunnel service. It connects to the service control manager, reports
// running, waits for the stop control and reports stopped.
//
//   tovrane_tunnel.exe [config path] [tunnel name] [--exit-code=N]
//                      [--ignore-stop] [--linger-ms=N]
//
// --exit-code=N   report stopped with service-specific exit code N.
// --ignore-stop   keep running when asked to stop; only the release event
//                 (ReleaseEventName) ends it, so tests can clean up.
// --linger-ms=N   after reporting stopped, go on for N ms before the process
//                 ends, as a host whose teardown takes its time.
#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <string>

#include "tests/provisioning/test_tunnel_host_controls.h"
#include "tests/support/crash_guard.h"
#include "win/service_status.h"

namespace {

DWORD g_exit_code = 0;
bool g_ignore_stop = false;
DWORD g_linger_ms = 0;
SERVICE_STATUS_HANDLE g_status_handle = nullptr;
HANDLE g_stop_event = nullptr;

void Report(DWORD state) {
  (void)velk::ReportServiceStatus(g_status_handle, state, SERVICE_ACCEPT_STOP,
                                  state == SERVICE_STOPPED ? g_exit_code : 0);
}

DWORD WINAPI HandleControl(DWORD control, DWORD, void*, void*) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
      if (!g_ignore_stop) SetEvent(g_stop_event);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI RunService(DWORD, wchar_t**) {
  g_status_handle = RegisterServiceCtrlHandlerExW(L"", HandleControl, nullptr);
  if (g_status_handle == nullptr) return;
  // Made before the host reports running, so a test that sees it running
  // can always release it.
  HANDLE release =
      CreateEventW(nullptr, TRUE, FALSE,
                   velk::test::ReleaseEventName(GetCurrentProcessId()).c_str());
  Report(SERVICE_RUNNING);
  HANDLE ends[] = {g_stop_event, release};
  WaitForMultipleObjects(release != nullptr ? 2 : 1, ends, FALSE, INFINITE);
  Report(SERVICE_STOPPED);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  velk::test::InstallCrashGuard();
  constexpr wchar_t kExitCodeOption[] = L"--exit-code=";
  const size_t exit_code_option_length = std::wcslen(kExitCodeOption);
  for (int i = 1; i < argc; ++i) {
    const std::wstring argument = argv[i];
    if (argument.compare(0, exit_code_option_length, kExitCodeOption) == 0) {
      g_exit_code = static_cast<DWORD>(std::wcstoul(
          argument.c_str() + exit_code_option_length, nullptr, 10));
    } else if (argument == L"--ignore-stop") {
      g_ignore_stop = true;
    } else if (argument.rfind(L"--linger-ms=", 0) == 0) {
      g_linger_ms =
          static_cast<DWORD>(std::wcstoul(argument.c_str() + 12, nullptr, 10));
    }
  }
  g_stop_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  wchar_t name[] = L"";
  SERVICE_TABLE_ENTRYW table[] = {{name, RunService}, {nullptr, nullptr}};
  const bool dispatched = StartServiceCtrlDispatcherW(table) != FALSE;
  Sleep(g_linger_ms);
  return dispatched ? 0 : 1;
}
