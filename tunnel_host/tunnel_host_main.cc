#include "tunnel_host/tunnel_host_main.h"

// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <vector>

#include "interfaces/tunnel_library.h"
#include "tunnel_host/endpoint_route_keeper.h"
#include "tunnel_host/tunnel_dns_keeper.h"
#include "win/scoped_handle.h"

namespace velk {
namespace {

struct HostArguments {
  std::wstring config_path;
  std::wstring tunnel_name;
};

bool SplitCommandLine(const wchar_t* command_line, HostArguments* arguments) {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(command_line, &count);
  if (argv == nullptr) return false;
  const bool enough = count >= 3;
  if (enough) {
    arguments->config_path = argv[1];
    arguments->tunnel_name = argv[2];
  }
  LocalFree(argv);
  return enough;
}

bool ReadAllBytes(const std::wstring& path, std::vector<char>* bytes) {
  // Shared for reading and writing: the client may be rewriting the file.
  ScopedKernelHandle file(CreateFileW(
      path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.is_valid()) return false;
  char chunk[4096];
  DWORD read = 0;
  for (;;) {
    // A read that fails part-way must not hand the tunnel half a
    // configuration: the file counts as unreadable.
    if (!ReadFile(file.get(), chunk, sizeof(chunk), &read, nullptr)) {
      return false;
    }
    if (read == 0) return true;
    bytes->insert(bytes->end(), chunk, chunk + read);
  }
}

}  // namespace

bool LoadConfigText(const std::wstring& path, std::wstring& text) {
  std::vector<char> bytes;
  if (!ReadAllBytes(path, &bytes) || bytes.empty()) return false;
  // The conversion runs to the first NUL byte; file bytes need not carry
  // one, so one is added to keep it inside the buffer.
  bytes.push_back('\0');
  const int needed =
      MultiByteToWideChar(CP_UTF8, 0, bytes.data(), -1, nullptr, 0);
  if (needed < 1) return false;
  std::wstring converted(static_cast<size_t>(needed), L'\0');
  if (MultiByteToWideChar(CP_UTF8, 0, bytes.data(), -1, converted.data(),
                          needed) != needed) {
    return false;
  }
  converted.resize(static_cast<size_t>(needed) - 1);  // The terminating NUL.
  text = std::move(converted);
  return true;
}

int TunnelHostMain() {
  return RunTunnelHost(GetCommandLineW(), L"tunnel.dll",
                       SystemIpHelperFunctions());
}

int RunTunnelHost(const wchar_t* command_line, const wchar_t* tunnel_library,
                  const IpHelperFunctions& network_functions) {
  HostArguments arguments;
  if (!SplitCommandLine(command_line, &arguments)) return kBadCommandLine;

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
