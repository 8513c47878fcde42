#include "tunnel_host/tunnel_host_main.h"

#include <windows.h>

#include "interfaces/tunnel_library.h"
#include "tunnel_host/config_file.h"
#include "tunnel_host/config_scan.h"
#include "tunnel_host/endpoint_route_keeper.h"
#include "tunnel_host/tunnel_dns_keeper.h"
#include "win/access_list.h"
#include "win/command_line.h"
#include "win/ip_helper.h"
#include "win/program_path.h"

namespace velk {
namespace {

struct HostArguments {
  std::wstring config_path;
  std::wstring tunnel_name;
};

bool ReadHostArguments(const wchar_t* command_line, HostArguments* arguments) {
  const auto argv = SplitCommandLine(command_line);
  if (!argv || argv->size() < 3) return false;
  arguments->config_path = (*argv)[1];
  arguments->tunnel_name = (*argv)[2];
  return true;
}

// The stored text must say one thing to every reader: with a second
// Endpoint line the library might reach a peer other than the one whose
// route the host keeps, and a second DNS line is no text that the client
// writes.
bool HasOneEndpointAndDnsAtMost(const std::wstring& config_text) {
  const HostKeyCounts counts = CountHostKeys(config_text);
  return counts.endpoint_lines <= 1 && counts.dns_lines <= 1;
}

// Before it starts a new host, the client waits until the old host's process
// has ended, so the new host never meets the old one's removal of its
// endpoint route. A standard user may not open a LocalSystem process at all:
// every signed-in user is granted the right to wait for this one, and no
// other right. Failing, the client's wait ends at the service's "stopped".
void LetSignedInUsersWaitForTheHost() {
  BYTE users[SECURITY_MAX_SID_SIZE];
  DWORD users_size = sizeof(users);
  if (!CreateWellKnownSid(WinAuthenticatedUserSid, nullptr, users,
                          &users_size)) {
    return;
  }
  (void)AddAccessEntry(
      GetCurrentProcess(), SE_KERNEL_OBJECT,
      SidAccessEntry(users, TRUSTEE_IS_WELL_KNOWN_GROUP, SYNCHRONIZE,
                     GRANT_ACCESS, NO_INHERITANCE));
}

}  // namespace

int TunnelHostMain() {
  // The host runs as LocalSystem: no library may come from the working
  // folder or a folder on PATH, which other users may be able to write. From
  // here on, libraries that the system loads on our behalf come from the
  // system folder or the host's own. Failing, it leaves the standard search
  // to those loads; the tunnel library is loaded by full path regardless.
  (void)SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32 |
                                 LOAD_LIBRARY_SEARCH_APPLICATION_DIR);
  LetSignedInUsersWaitForTheHost();
  const std::wstring folder = GetProgramFolder();
  const std::wstring tunnel_library =
      folder.empty() ? std::wstring() : folder + L"\\tunnel.dll";
  return RunTunnelHost(GetCommandLineW(), tunnel_library.c_str(),
                       SystemIpHelperFunctions());
}

int RunTunnelHost(const wchar_t* command_line, const wchar_t* tunnel_library,
                  const IpHelperFunctions& network_functions) {
  HostArguments arguments;
  if (!ReadHostArguments(command_line, &arguments)) return kBadCommandLine;

  std::wstring config_text;
  if (!LoadConfigText(arguments.config_path, config_text) ||
      !HasOneEndpointAndDnsAtMost(config_text)) {
    return kConfigUnreadable;
  }

  // Never freed: the tunnel library runs until the process ends. Only the
  // full path counts (a bare name fails here), and what the library itself
  // imports comes from its own folder or the system folder.
  HMODULE library = LoadLibraryExW(
      tunnel_library, nullptr,
      LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (library == nullptr) return kTunnelLibraryMissing;
  const auto tunnel_service = reinterpret_cast<WireGuardTunnelServiceFunction>(
      reinterpret_cast<void*>(GetProcAddress(library, kTunnelEntryName)));
  if (tunnel_service == nullptr) return kTunnelEntryMissing;

  EndpointRouteKeeper route_keeper(network_functions);
  TunnelDnsKeeper dns_keeper(network_functions);
  // The host route must exist before the tunnel's own routes do; the tunnel
  // runs whether or not it could be installed.
  (void)route_keeper.StartEndpointRoute(config_text, arguments.tunnel_name);
  dns_keeper.StartTunnelDns(config_text, arguments.tunnel_name);

  const BOOL tunnel_result =
      tunnel_service(config_text.c_str(), arguments.tunnel_name.c_str());

  dns_keeper.StopTunnelDns();
  route_keeper.StopEndpointRoute();
  return tunnel_result != 0 ? kTunnelEnded : kTunnelFailed;
}

}  // namespace velk
