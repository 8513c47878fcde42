#ifndef TUNNEL_HOST_TUNNEL_ALIAS_H_
#define TUNNEL_HOST_TUNNEL_ALIAS_H_

#include <string_view>

// True when a network interface with this alias belongs to the tunnel: the
// alias is the tunnel name itself, or the tunnel name followed by one space
// and anything else ("TovraneVPN 7", which Windows makes when an older
// interface of the same name still exists). The comparison is exact and
// case-sensitive, so "TovraneVPN7" and "tovranevpn" are other interfaces.
bool IsTunnelAlias(std::wstring_view alias, std::wstring_view tunnel_name);

#endif  // TUNNEL_HOST_TUNNEL_ALIAS_H_
