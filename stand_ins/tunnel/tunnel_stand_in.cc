// A stand-in for the tunnel library. It brings up no tunnel; it does what the
// host relies on: WireGuardTunnelService connects the process to the service
// control manager, reports the service running, returns only after the
// service has stopped, and reports a service-specific exit code.
//
// Beside the DLL, for tests:
//  - "tunnel_stand_in.ini" (optional), lines of key=value:
//      exit_code=N       service-specific exit code reported at stop (0)
//      result=N          what WireGuardTunnelService returns (1)
//      start_delay_ms=N  time between start-pending and running (0)
//      stop_after_ms=N   stop by itself after this long; 0 never as a
//                        service, at once when not run by the SCM (0)
//      refuse_start=1    report stopped with the exit code, never running
//      no_dispatcher=1   do not try to reach the service control manager
//                        (a test runs the host directly; Wine takes about
//                        10 s to refuse a dispatcher outside a service)
//  - "tunnel_transcript.txt": one line per event (loaded, name, mode,
//    running, stop control, stopped with code, datagrams sent). "loaded" is
//    written when the host first calls the entry, not by DllMain: no file
//    work under the loader lock.
//  - "tunnel_config_received.txt": the configuration text it was given, as
//    UTF-8 bytes.
//
// While running it sends one small UDP datagram a second to the endpoint of
// the configuration, so that a test peer can answer it.

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#include <cstdio>
#include <cwctype>
#include <fstream>
#include <sstream>
#include <string>

#define VELK_TUNNEL_LIBRARY_IMPLEMENTATION
#include "common/thread_annotations.h"
#include "common/tunnel_identity.h"
#include "interfaces/tunnel_library.h"
#include "win/scoped_handle.h"
#include "win/scoped_socket.h"
#include "win/service_status.h"
#include "win/text.h"
#include "win/whole_file.h"
#include "win/winsock.h"

namespace {

constexpr char kDatagram[] = "tovrane stand-in keepalive";

struct Knobs {
  DWORD exit_code = 0;
  DWORD result = 1;
  DWORD start_delay_ms = 0;
  DWORD stop_after_ms = 0;
  bool refuse_start = false;
  bool no_dispatcher = false;
};

struct Endpoint {
  std::wstring host;
  std::wstring port;
};

// State of the one run; the library is called once per process.
Knobs g_knobs;
std::wstring g_config_text;
std::wstring g_tunnel_name;
SERVICE_STATUS_HANDLE g_status_handle = nullptr;
velk::ScopedKernelHandle g_stop_event;
// Keeps the transcript's lines whole when threads note at once.
velk::Mutex g_transcript_mutex;

std::wstring OwnFolder() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&OwnFolder), &self)) {
    return L".";
  }
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  std::wstring folder(path, length);
  const size_t slash = folder.find_last_of(L"\\/");
  return slash == std::wstring::npos ? L"." : folder.substr(0, slash);
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes,
                    bool append) {
  std::ofstream file(
      path.c_str(),
      std::ios::binary | (append ? std::ios::app : std::ios::trunc));
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void Note(const std::string& line) {
  velk::MutexLock lock(g_transcript_mutex);
  WriteFileBytes(OwnFolder() + L"\\tunnel_transcript.txt", line + "\n", true);
}

std::wstring Trim(const std::wstring& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && std::iswspace(text[begin])) ++begin;
  while (end > begin && std::iswspace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

Knobs ReadKnobs() {
  Knobs knobs;
  std::string text;
  if (!velk::ReadWholeFile(OwnFolder() + L"\\tunnel_stand_in.ini", &text)) {
    return knobs;  // none, or empty: the defaults
  }
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    char key[64] = {};
    unsigned long value = 0;
    if (std::sscanf(line.c_str(), " %63[a-z_] = %lu", key, &value) != 2) {
      continue;
    }
    const std::string name = key;
    if (name == "exit_code") knobs.exit_code = value;
    if (name == "result") knobs.result = value;
    if (name == "start_delay_ms") knobs.start_delay_ms = value;
    if (name == "stop_after_ms") knobs.stop_after_ms = value;
    if (name == "refuse_start") knobs.refuse_start = value != 0;
    if (name == "no_dispatcher") knobs.no_dispatcher = value != 0;
  }
  return knobs;
}

// The first Endpoint line's host and port ("host:port" or "[v6]:port").
bool FindEndpoint(const std::wstring& config_text, Endpoint* endpoint) {
  std::wistringstream lines(config_text);
  std::wstring line;
  while (std::getline(lines, line)) {
    const size_t equals = line.find(L'=');
    if (equals == std::wstring::npos) continue;
    if (_wcsicmp(Trim(line.substr(0, equals)).c_str(), L"Endpoint") != 0) {
      continue;
    }
    const std::wstring value = Trim(line.substr(equals + 1));
    const size_t colon = value.rfind(L':');
    if (colon == std::wstring::npos) return false;
    endpoint->port = value.substr(colon + 1);
    endpoint->host = value.substr(0, colon);
    if (endpoint->host.size() >= 2 && endpoint->host.front() == L'[' &&
        endpoint->host.back() == L']') {
      endpoint->host = endpoint->host.substr(1, endpoint->host.size() - 2);
    }
    return !endpoint->host.empty() && !endpoint->port.empty();
  }
  return false;
}

// A name's addresses as GetAddrInfoW hands them out.
struct AddressListTraits : velk::NullInvalidTraits<ADDRINFOW*> {
  static void Close(ADDRINFOW* list) { FreeAddrInfoW(list); }
};
using AddressList = velk::ScopedResource<AddressListTraits>;

void SendDatagram(const Endpoint& endpoint) {
  ADDRINFOW hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_protocol = IPPROTO_UDP;
  AddressList results;
  if (GetAddrInfoW(endpoint.host.c_str(), endpoint.port.c_str(), &hints,
                   results.receive()) != 0) {
    return;
  }
  for (const ADDRINFOW* result = results.get(); result != nullptr;
       result = result->ai_next) {
    const velk::ScopedSocket udp(
        socket(result->ai_family, SOCK_DGRAM, IPPROTO_UDP));
    if (!udp) continue;
    if (sendto(udp.get(), kDatagram, sizeof(kDatagram) - 1, 0, result->ai_addr,
               static_cast<int>(result->ai_addrlen)) > 0) {
      break;
    }
  }
}

// Runs "the tunnel" until the stop event is set or the self-stop time ends.
void RunTunnel(DWORD stop_after_ms) {
  Endpoint endpoint;
  const bool has_endpoint = FindEndpoint(g_config_text, &endpoint);
  const velk::ScopedWinsock winsock;
  const bool sockets = winsock.started();
  const ULONGLONG deadline =
      stop_after_ms == 0 ? 0 : GetTickCount64() + stop_after_ms;
  for (;;) {
    if (has_endpoint && sockets) SendDatagram(endpoint);
    DWORD wait_ms = 1000;
    if (deadline != 0) {
      const ULONGLONG now = GetTickCount64();
      if (now >= deadline) {
        Note("stopped by itself");
        return;
      }
      if (deadline - now < wait_ms)
        wait_ms = static_cast<DWORD>(deadline - now);
    }
    if (WaitForSingleObject(g_stop_event.get(), wait_ms) != WAIT_TIMEOUT) {
      return;
    }
  }
}

void ReportStatus(DWORD state, DWORD exit_code) {
  // Nobody to tell when the report fails: the manager sees the process end.
  (void)velk::ReportServiceStatus(g_status_handle, state,
                                  SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN,
                                  exit_code, 30000);
}

DWORD WINAPI HandleControl(DWORD control, DWORD /*event_type*/,
                           void* /*event_data*/, void* /*context*/) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      Note("stop control");
      ReportStatus(SERVICE_STOP_PENDING, 0);
      SetEvent(g_stop_event.get());
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI ServiceMain(DWORD /*argc*/, wchar_t** /*argv*/) {
  g_status_handle = RegisterServiceCtrlHandlerExW(velk::kTunnelServiceName,
                                                  HandleControl, nullptr);
  if (g_status_handle == nullptr) {
    Note("no control handler");
    return;
  }
  ReportStatus(SERVICE_START_PENDING, 0);
  if (g_knobs.refuse_start) {
    Note("refused to start");
    ReportStatus(SERVICE_STOPPED, g_knobs.exit_code);
    return;
  }
  if (g_knobs.start_delay_ms != 0) Sleep(g_knobs.start_delay_ms);
  ReportStatus(SERVICE_RUNNING, 0);
  Note("running");
  RunTunnel(g_knobs.stop_after_ms);
  Note("stopped with code " + std::to_string(g_knobs.exit_code));
  ReportStatus(SERVICE_STOPPED, g_knobs.exit_code);
}

}  // namespace

BOOL WINAPI WireGuardTunnelService(const wchar_t* config_text,
                                   const wchar_t* tunnel_name) {
  Note("loaded");
  g_knobs = ReadKnobs();
  g_config_text = config_text != nullptr ? config_text : L"";
  g_tunnel_name = tunnel_name != nullptr ? tunnel_name : L"";
  WriteFileBytes(OwnFolder() + L"\\tunnel_config_received.txt",
                 velk::Utf16ToUtf8(g_config_text), false);
  Note("tunnel name " + velk::Utf16ToUtf8(g_tunnel_name));
  g_stop_event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));

  // The table wants a writable name.
  std::wstring service_name = velk::kTunnelServiceName;
  const SERVICE_TABLE_ENTRYW table[] = {{service_name.data(), ServiceMain},
                                        {nullptr, nullptr}};
  if (!g_knobs.no_dispatcher && StartServiceCtrlDispatcherW(table)) {
    Note("dispatcher returned");
  } else if (g_knobs.no_dispatcher ||
             GetLastError() == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
    // Started outside the service control manager (a test runs the host
    // directly): run for the self-stop time, or not at all.
    Note("not a service");
    if (!g_knobs.refuse_start && g_knobs.stop_after_ms != 0) {
      RunTunnel(g_knobs.stop_after_ms);
    }
  } else {
    Note("dispatcher failed " + std::to_string(GetLastError()));
  }
  Note("returning " + std::to_string(g_knobs.result));
  return static_cast<BOOL>(g_knobs.result);
}
