#ifndef TUNNEL_HOST_ENDPOINT_ROUTE_KEEPER_H_
#define TUNNEL_HOST_ENDPOINT_ROUTE_KEEPER_H_

#include <string>

#include "common/thread_annotations.h"
#include "win/ip_helper.h"
#include "win/winsock.h"

namespace velk {

// Keeps one host route to the tunnel's endpoint through the best default
// route that is not the tunnel's own, so that the tunnel's packets keep the
// physical path once the tunnel installs its routes. The route follows the
// default routes of the endpoint's family while the tunnel runs and is
// removed at stop. Every failure is silent: at worst there is no route.
class EndpointRouteKeeper {
 public:
  explicit EndpointRouteKeeper(
      const IpHelperFunctions& functions = SystemIpHelperFunctions());
  ~EndpointRouteKeeper();
  EndpointRouteKeeper(const EndpointRouteKeeper&) = delete;
  EndpointRouteKeeper& operator=(const EndpointRouteKeeper&) = delete;

  // Resolves the configuration's endpoint once, installs the route and
  // follows route changes. True when a route is installed on return.
  bool StartEndpointRoute(const std::wstring& config_text,
                          const std::wstring& tunnel_name);
  // Ends the following of route changes and removes the route.
  void StopEndpointRoute();

 private:
  // One route change, as the system reports it (`row` may be null).
  void OnRouteChange(const MIB_IPFORWARD_ROW2* row,
                     MIB_NOTIFICATION_TYPE notification_type);
  static void WINAPI RouteChangeCallback(void* context, MIB_IPFORWARD_ROW2* row,
                                         MIB_NOTIFICATION_TYPE type);
  bool ResolveEndpoint(const std::wstring& host, SOCKADDR_INET* endpoint) const;

  void UpdateEndpointRoute() REQUIRES(guard_);
  bool FindBestDefaultRoute(ADDRESS_FAMILY family, MIB_IPFORWARD_ROW2* choice)
      REQUIRES(guard_);

  const IpHelper ip_helper_;
  // Name resolution needs Windows Sockets for as long as the keeper lives.
  const ScopedWinsock winsock_;

  Mutex guard_;
  std::wstring tunnel_name_ GUARDED_BY(guard_);
  SOCKADDR_INET endpoint_ GUARDED_BY(guard_){};
  bool route_installed_ GUARDED_BY(guard_) = false;
  MIB_IPFORWARD_ROW2 installed_route_ GUARDED_BY(guard_){};

  // Written and read on the main thread only (start and stop).
  ScopedMibNotification notification_{ip_helper_};
};

}  // namespace velk

#endif  // TUNNEL_HOST_ENDPOINT_ROUTE_KEEPER_H_
