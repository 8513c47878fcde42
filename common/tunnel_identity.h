// The names by which the client, the service and the tunnel host know the
// tunnel, and the rule that finds the tunnel's network interface.

#ifndef COMMON_TUNNEL_IDENTITY_H_
#define COMMON_TUNNEL_IDENTITY_H_

#include <string_view>

namespace velk {

// The tunnel's name: the data folder's name, the third argument of the
// service's command line and the alias of the tunnel interface.
inline constexpr wchar_t kTunnelName[] = L"TovraneVPN";

// The Windows service that runs the tunnel host.
inline constexpr wchar_t kTunnelServiceName[] = L"TovraneVPNTunnel";

// The tunnel host's program, beside the client.
inline constexpr wchar_t kTunnelHostProgram[] = L"tovrane_tunnel.exe";

// True when a network interface with this alias belongs to the tunnel: the
// alias is the tunnel name itself, or the tunnel name followed by one space
// and anything else ("TovraneVPN 7", which Windows makes when an older
// interface of the same name still exists). The comparison is exact and
// case-sensitive, so "TovraneVPN7" and "tovranevpn" are other interfaces.
constexpr bool IsTunnelAlias(std::wstring_view alias,
                             std::wstring_view tunnel_name) {
  return alias.substr(0, tunnel_name.size()) == tunnel_name &&
         (alias.size() == tunnel_name.size() ||
          alias[tunnel_name.size()] == L' ');
}

}  // namespace velk

#endif  // COMMON_TUNNEL_IDENTITY_H_
