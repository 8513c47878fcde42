#include "tunnel_host/tunnel_host_main.h"

#include <windows.h>

#include "interfaces/tunnel_library.h"
#include "tunnel_host/config_file.h"
#include "tunnel_host/endpoint_route_keeper.h"
#include "tunnel_host/tunnel_dns_keeper.h"
#include "win/command_line.h"
#include "win/ip_helper.h"

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

}  // namespace

int TunnelHostMain() {
  return RunTunnelHost(GetCommandLineW(), L"tunnel.dll",
                       SystemIpHelperFunctions());
}

int RunTunnelHost(const wchar_t* command_line, const wchar_t* tunnel_library,
                  const IpHelperFunctions& network_functions) {
  HostArguments arguments;
  if (!ReadHostArguments(command_line, &arguments)) return kBadCommandLine;

  std::wstring config_text;
  if (!LoadConfigText(arguments.config_path, config_text)) {
    return kConfigUnreadable;
  }

  // Never freed: the tunnel library runs until the process ends.
  HMODULE library = LoadLibraryW(tunnel_library);
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
