#include "tunnel_host/endpoint_route_keeper.h"

#include <climits>
#include <cstring>

#include "common/tunnel_identity.h"
#include "tunnel_host/config_scan.h"

namespace velk {
namespace {

// Interface aliases are at most 256 characters and a NUL.
constexpr size_t kAliasLength = 257;

// A next hop is its family and address, with the scope of an IPv6 one; the
// union's bytes beyond the family's own structure say nothing.
bool SameNextHop(const SOCKADDR_INET& a, const SOCKADDR_INET& b) {
  if (a.si_family != b.si_family) return false;
  if (a.si_family == AF_INET) {
    return a.Ipv4.sin_addr.s_addr == b.Ipv4.sin_addr.s_addr;
  }
  if (a.si_family == AF_INET6) {
    return std::memcmp(&a.Ipv6.sin6_addr, &b.Ipv6.sin6_addr,
                       sizeof(IN6_ADDR)) == 0 &&
           a.Ipv6.sin6_scope_id == b.Ipv6.sin6_scope_id;
  }
  return true;  // neither family: nothing more to compare
}

}  // namespace

EndpointRouteKeeper::EndpointRouteKeeper(const IpHelperFunctions& functions)
    : ip_helper_(functions) {}

EndpointRouteKeeper::~EndpointRouteKeeper() {
  // The host stops the keeper itself; this only makes sure that no
  // notification can reach a keeper that is gone.
  StopEndpointRoute();
}

bool EndpointRouteKeeper::StartEndpointRoute(const std::wstring& config_text,
                                             const std::wstring& tunnel_name) {
  // A second start replaces the first registration. Cancelling waits for a
  // running callback, which may wait for the guard: so it happens here.
  notification_.reset();
  if (!winsock_.started()) return false;

  const std::wstring host = ReadEndpointHost(config_text);
  if (host.empty()) return false;
  SOCKADDR_INET endpoint;
  if (!ResolveEndpoint(host, &endpoint)) return false;

  // The first evaluation and the registration happen under the guard: a
  // change reported meanwhile waits and then sees the complete state.
  MutexLock lock(guard_);
  tunnel_name_ = tunnel_name;
  endpoint_ = endpoint;
  UpdateEndpointRoute();
  // On failure there is no handle, and the route stays as first set up.
  (void)ip_helper_.NotifyRouteChange2(endpoint_.si_family, RouteChangeCallback,
                                      this, notification_.receive());
  return route_installed_;
}

void EndpointRouteKeeper::StopEndpointRoute() {
  // Cancelling waits for a callback in progress, which may be waiting for the
  // guard: so never cancel while holding it.
  notification_.reset();
  MutexLock lock(guard_);
  if (route_installed_) {
    // A route that cannot be deleted is not ours to retry: the host exits.
    (void)ip_helper_.DeleteIpForwardEntry2(installed_route_);
    route_installed_ = false;
  }
}

void EndpointRouteKeeper::OnRouteChange(
    const MIB_IPFORWARD_ROW2* row,
    MIB_NOTIFICATION_TYPE /*notification_type*/) {
  // Only default routes matter. This also keeps the keeper's own host route
  // from feeding its changes back.
  if (row != nullptr && row->DestinationPrefix.PrefixLength != 0) return;
  MutexLock lock(guard_);
  UpdateEndpointRoute();
}

void WINAPI EndpointRouteKeeper::RouteChangeCallback(
    void* context, MIB_IPFORWARD_ROW2* row, MIB_NOTIFICATION_TYPE type) {
  static_cast<EndpointRouteKeeper*>(context)->OnRouteChange(row, type);
}

bool EndpointRouteKeeper::ResolveEndpoint(const std::wstring& host,
                                          SOCKADDR_INET* endpoint) const {
  ADDRINFOW hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  ScopedAddrInfo results(ip_helper_);
  if (ip_helper_.GetAddrInfoW(host.c_str(), hints, results.receive()) != 0 ||
      results.get() == nullptr) {
    return false;
  }
  // An IPv4 address wins wherever it stands; IPv6 only when there is none.
  const ADDRINFOW* chosen = nullptr;
  for (const ADDRINFOW* result = results.get(); result != nullptr;
       result = result->ai_next) {
    if (result->ai_addr == nullptr) continue;
    if (result->ai_family == AF_INET &&
        result->ai_addrlen >= sizeof(sockaddr_in)) {
      chosen = result;
      break;
    }
    if (result->ai_family == AF_INET6 && chosen == nullptr &&
        result->ai_addrlen >= sizeof(sockaddr_in6)) {
      chosen = result;
    }
  }
  if (chosen == nullptr) return false;

  std::memset(endpoint, 0, sizeof(*endpoint));
  if (chosen->ai_family == AF_INET) {
    std::memcpy(&endpoint->Ipv4, chosen->ai_addr, sizeof(sockaddr_in));
    endpoint->Ipv4.sin_port = 0;
  } else {
    std::memcpy(&endpoint->Ipv6, chosen->ai_addr, sizeof(sockaddr_in6));
    endpoint->Ipv6.sin6_port = 0;
  }
  return true;
}

void EndpointRouteKeeper::UpdateEndpointRoute() {
  MIB_IPFORWARD_ROW2 best;
  if (!FindBestDefaultRoute(endpoint_.si_family, &best)) return;

  if (route_installed_) {
    if (best.InterfaceLuid.Value == installed_route_.InterfaceLuid.Value &&
        SameNextHop(best.NextHop, installed_route_.NextHop)) {
      return;
    }
    (void)ip_helper_.DeleteIpForwardEntry2(installed_route_);
    route_installed_ = false;
  }

  MIB_IPFORWARD_ROW2 route;
  std::memset(&route, 0, sizeof(route));
  // Without the initialiser there is no row to hand over; it counts as a
  // creation that failed and is tried again at the next change.
  if (!ip_helper_.InitializeIpForwardEntry(&route)) return;
  route.InterfaceLuid = best.InterfaceLuid;
  route.NextHop = best.NextHop;
  route.DestinationPrefix.Prefix = endpoint_;
  route.DestinationPrefix.PrefixLength =
      endpoint_.si_family == AF_INET ? 32 : 128;
  route.Metric = 0;
  route.Protocol = static_cast<NL_ROUTE_PROTOCOL>(MIB_IPPROTO_NETMGMT);

  NETIO_STATUS result = ip_helper_.CreateIpForwardEntry2(route);
  if (result == ERROR_OBJECT_ALREADY_EXISTS) {
    // The same route exists already: from now on it is the keeper's.
    result = ip_helper_.SetIpForwardEntry2(route);
  }
  if (result == NO_ERROR) {
    installed_route_ = route;
    route_installed_ = true;
  }
}

bool EndpointRouteKeeper::FindBestDefaultRoute(ADDRESS_FAMILY family,
                                               MIB_IPFORWARD_ROW2* choice) {
  ScopedMibTable<MIB_IPFORWARD_TABLE2> table(ip_helper_);
  if (ip_helper_.GetIpForwardTable2(family, table.receive()) != NO_ERROR ||
      table.get() == nullptr) {
    return false;
  }
  ULONG best_metric = ULONG_MAX;
  bool found = false;
  for (ULONG i = 0; i < table.get()->NumEntries; ++i) {
    const MIB_IPFORWARD_ROW2& row = table.get()->Table[i];
    if (row.DestinationPrefix.PrefixLength != 0) continue;

    // A row whose alias cannot be read stays a candidate.
    wchar_t alias[kAliasLength] = {};
    if (ip_helper_.ConvertInterfaceLuidToAlias(row.InterfaceLuid, alias,
                                               kAliasLength) == NO_ERROR &&
        IsTunnelAlias(alias, tunnel_name_)) {
      continue;
    }

    MIB_IPINTERFACE_ROW interface_row;
    std::memset(&interface_row, 0, sizeof(interface_row));
    if (!ip_helper_.InitializeIpInterfaceEntry(&interface_row)) continue;
    interface_row.Family = family;
    interface_row.InterfaceLuid = row.InterfaceLuid;
    if (ip_helper_.GetIpInterfaceEntry(&interface_row) != NO_ERROR ||
        !interface_row.Connected) {
      continue;
    }

    // Unsigned 32-bit sum, as the system adds them.
    const ULONG metric = static_cast<ULONG>(row.Metric + interface_row.Metric);
    if (metric < best_metric) {
      best_metric = metric;
      *choice = row;
      found = true;
    }
  }
  return found;
}

}  // namespace velk
