#include "tunnel_host/endpoint_route_keeper.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "tests/tunnel_host/fake_network.h"

namespace {

using tunnel_host::EndpointRouteKeeper;
using tunnel_host_test::FakeNetwork;

constexpr wchar_t kTunnel[] = L"TovraneVPN";
constexpr uint64_t kEthernet = 0x1000;
constexpr uint64_t kWifi = 0x2000;
constexpr uint64_t kTunnelLuid = 0x3000;

std::wstring NextHopOf(const MIB_IPFORWARD_ROW2& row) {
  wchar_t text[64] = {};
  if (row.NextHop.si_family == AF_INET) {
    InetNtopW(AF_INET, &row.NextHop.Ipv4.sin_addr, text, 64);
  } else {
    InetNtopW(AF_INET6, &row.NextHop.Ipv6.sin6_addr, text, 64);
  }
  return text;
}

class EndpointRouteKeeperTest : public testing::Test {
 protected:
  void AddInterface(uint64_t luid, const std::wstring& alias, ULONG metric,
                    bool connected = true) {
    FakeNetwork::Interface adapter;
    adapter.luid = luid;
    adapter.alias = alias;
    adapter.metric = metric;
    adapter.connected = connected;
    network_.AddInterface(adapter);
  }

  // Ethernet (metric 25 + 10) beats Wi-Fi (metric 50 + 0).
  void AddTwoUplinks() {
    AddInterface(kEthernet, L"Ethernet", 25);
    AddInterface(kWifi, L"Wi-Fi", 50);
    network_.AddDefaultRoute(kWifi, L"192.168.1.1", 0);
    network_.AddDefaultRoute(kEthernet, L"10.0.0.1", 10);
  }

  // The single host route; fails the test when there is not exactly one.
  MIB_IPFORWARD_ROW2 OnlyHostRoute() {
    std::vector<MIB_IPFORWARD_ROW2> routes = network_.HostRoutes();
    EXPECT_EQ(routes.size(), 1u);
    MIB_IPFORWARD_ROW2 row{};
    if (!routes.empty()) row = routes[0];
    return row;
  }

  FakeNetwork network_;
};

TEST_F(EndpointRouteKeeperTest, InstallsHostRouteThroughBestDefaultRoute) {
  AddTwoUplinks();
  network_.WaitForNotifications();
  EndpointRouteKeeper keeper(network_.Functions());
  EXPECT_TRUE(keeper.StartEndpointRoute(L"[Peer]\nEndpoint = 192.0.2.7:51820\n",
                                        kTunnel));

  const MIB_IPFORWARD_ROW2 route = OnlyHostRoute();
  EXPECT_EQ(route.InterfaceLuid.Value, kEthernet);
  EXPECT_EQ(NextHopOf(route), L"10.0.0.1");
  EXPECT_EQ(route.DestinationPrefix.PrefixLength, 32);
  SOCKADDR_INET endpoint = FakeNetwork::Address(L"192.0.2.7");
  EXPECT_EQ(
      std::memcmp(&route.DestinationPrefix.Prefix, &endpoint, sizeof(endpoint)),
      0);
  EXPECT_EQ(route.Metric, 0u);
  EXPECT_EQ(route.Protocol, 3);
  EXPECT_EQ(route.InterfaceIndex, 0u);
  // The rest comes from the system's initialiser.
  EXPECT_EQ(route.ValidLifetime, 0xffffffffu);
  EXPECT_TRUE(route.Immortal);
  EXPECT_EQ(network_.registered_family(), AF_INET);
  EXPECT_EQ(network_.active_registrations(), 1);

  keeper.StopEndpointRoute();
  EXPECT_TRUE(network_.HostRoutes().empty());
  EXPECT_EQ(network_.active_registrations(), 0);
  EXPECT_EQ(network_.outstanding_allocations(), 0);
}

TEST_F(EndpointRouteKeeperTest, ChoosesByMetricSumAndSkipsUnusableRoutes) {
  // Every one of these would win on metric alone.
  AddInterface(kTunnelLuid, L"TovraneVPN", 0);
  AddInterface(0x3001, L"TovraneVPN 7", 0);
  AddInterface(0x3002, L"Cable", 0, /*connected=*/false);
  AddInterface(0x3003, L"TovraneVPN7", 60);  // not the tunnel
  AddInterface(0x3004, L"Backup", 30);       // equal sum, later in table
  AddInterface(kEthernet, L"Ethernet", 200);
  network_.AddDefaultRoute(kTunnelLuid, L"10.9.0.1", 0);
  network_.AddDefaultRoute(0x3001, L"10.9.1.1", 0);
  network_.AddDefaultRoute(0x3002, L"10.9.2.1", 0);
  network_.AddDefaultRoute(0x3003, L"10.9.3.1", 0);
  network_.AddDefaultRoute(0x3004, L"10.9.4.1", 30);
  network_.AddDefaultRoute(kEthernet, L"10.0.0.1", 0);
  EndpointRouteKeeper keeper(network_.Functions());
  EXPECT_TRUE(keeper.StartEndpointRoute(L"Endpoint=192.0.2.7:1", kTunnel));
  EXPECT_EQ(OnlyHostRoute().InterfaceLuid.Value, 0x3003u);
}

TEST_F(EndpointRouteKeeperTest, RouteWithUnreadableAliasStaysACandidate) {
  FakeNetwork::Interface hidden;
  hidden.luid = kWifi;
  hidden.alias = L"TovraneVPN";  // would be skipped if the alias were read
  hidden.alias_readable = false;
  hidden.metric = 1;
  network_.AddInterface(hidden);
  AddInterface(kEthernet, L"Ethernet", 50);
  network_.AddDefaultRoute(kEthernet, L"10.0.0.1", 0);
  network_.AddDefaultRoute(kWifi, L"192.168.1.1", 0);
  EndpointRouteKeeper keeper(network_.Functions());
  EXPECT_TRUE(keeper.StartEndpointRoute(L"Endpoint=192.0.2.7:1", kTunnel));
  EXPECT_EQ(OnlyHostRoute().InterfaceLuid.Value, kWifi);
}

TEST_F(EndpointRouteKeeperTest, MetricSumWrapsAsUnsigned32Bits) {
  AddInterface(kEthernet, L"Ethernet", 100);
  AddInterface(kWifi, L"Wi-Fi", 0x20);
  network_.AddDefaultRoute(kEthernet, L"10.0.0.1", 0);
  network_.AddDefaultRoute(kWifi, L"192.168.1.1", 0xfffffff0);  // sums to 0x10
  EndpointRouteKeeper keeper(network_.Functions());
  EXPECT_TRUE(keeper.StartEndpointRoute(L"Endpoint=192.0.2.7:1", kTunnel));
  EXPECT_EQ(OnlyHostRoute().InterfaceLuid.Value, kWifi);
}

TEST_F(EndpointRouteKeeperTest, PrefersIpv4ResultAndFollowsItsFamily) {
  AddTwoUplinks();
  network_.AddName(L"vpn.example", {L"2001:db8::7", L"192.0.2.8"});
  EndpointRouteKeeper keeper(network_.Functions());
  EXPECT_TRUE(
      keeper.StartEndpointRoute(L"Endpoint = vpn.example:443", kTunnel));
  const MIB_IPFORWARD_ROW2 route = OnlyHostRoute();
  EXPECT_EQ(route.DestinationPrefix.PrefixLength, 32);
  EXPECT_EQ(route.DestinationPrefix.Prefix.si_family, AF_INET);
  EXPECT_EQ(network_.registered_family(), AF_INET);
  keeper.StopEndpointRoute();
  EXPECT_EQ(network_.outstanding_allocations(), 0);
}

TEST_F(EndpointRouteKeeperTest, Ipv6OnlyEndpointUsesIpv6DefaultRoutes) {
  AddTwoUplinks();  // IPv4 only: no use for an IPv6 endpoint
  network_.AddName(L"v6.example", {L"2001:db8::7"});
  EndpointRouteKeeper keeper(network_.Functions());
  EXPECT_FALSE(keeper.StartEndpointRoute(L"Endpoint = v6.example:1", kTunnel));
  EXPECT_EQ(network_.registered_family(), AF_INET6);

  network_.AddDefaultRoute(kWifi, L"fe80::1", 0);
  network_.WaitForNotifications();
  const MIB_IPFORWARD_ROW2 route = OnlyHostRoute();
  EXPECT_EQ(route.DestinationPrefix.PrefixLength, 128);
  EXPECT_EQ(NextHopOf(route), L"fe80::1");

  // An IPv4 default route change is not the keeper's concern.
  const int reads = network_.route_table_reads();
  network_.AddDefaultRoute(kEthernet, L"10.0.0.2", 0);
  network_.WaitForNotifications();
  EXPECT_EQ(network_.route_table_reads(), reads);
}

TEST_F(EndpointRouteKeeperTest, NoEndpointMeansNoRouteAndNoRegistration) {
  AddTwoUplinks();
  for (const wchar_t* config :
       {L"[Peer]\nAllowedIPs = 0.0.0.0/0\n", L"Endpoint = [2001:db8::1:5",
        L"Endpoint = unknown.example:1"}) {
    EndpointRouteKeeper keeper(network_.Functions());
    EXPECT_FALSE(keeper.StartEndpointRoute(config, kTunnel)) << config;
    keeper.StopEndpointRoute();
  }
  EXPECT_EQ(network_.registrations(), 0);
  EXPECT_EQ(network_.route_table_reads(), 0);
  EXPECT_EQ(network_.route_deletions(), 0);
}

TEST_F(EndpointRouteKeeperTest, MovesTheRouteWhenTheBestDefaultRouteMoves) {
  AddTwoUplinks();
  EndpointRouteKeeper keeper(network_.Functions());
  ASSERT_TRUE(keeper.StartEndpointRoute(L"Endpoint=192.0.2.7:1", kTunnel));
  network_.WaitForNotifications();

  // Another gateway on the same interface.
  network_.RemoveDefaultRoutes(kEthernet);
  network_.AddDefaultRoute(kEthernet, L"10.0.0.254", 10);
  network_.WaitForNotifications();
  MIB_IPFORWARD_ROW2 route = OnlyHostRoute();
  EXPECT_EQ(route.InterfaceLuid.Value, kEthernet);
  EXPECT_EQ(NextHopOf(route), L"10.0.0.254");

  // The interface goes down; its route goes, Wi-Fi takes over.
  network_.SetConnected(kEthernet, false);
  network_.RemoveDefaultRoutes(kEthernet);
  network_.WaitForNotifications();
  route = OnlyHostRoute();
  EXPECT_EQ(route.InterfaceLuid.Value, kWifi);
  EXPECT_EQ(NextHopOf(route), L"192.168.1.1");

  keeper.StopEndpointRoute();
  EXPECT_TRUE(network_.HostRoutes().empty());
}

TEST_F(EndpointRouteKeeperTest, UnchangedChoiceAndOtherRoutesMakeNoRouteCall) {
  AddTwoUplinks();
  EndpointRouteKeeper keeper(network_.Functions());
  ASSERT_TRUE(keeper.StartEndpointRoute(L"Endpoint=192.0.2.7:1", kTunnel));
  network_.WaitForNotifications();
  // Creating its own host route notified the keeper, which ignored it.
  EXPECT_EQ(network_.route_table_reads(), 1);
  const int creations = network_.route_creations();

  // A worse default route appears: evaluated, but the choice stays.
  AddInterface(0x4000, L"Modem", 900);
  network_.AddDefaultRoute(0x4000, L"172.16.0.1", 0);
  network_.Notify(nullptr);
  network_.WaitForNotifications();
  EXPECT_EQ(network_.route_table_reads(), 3);
  EXPECT_EQ(network_.route_creations(), creations);
  EXPECT_EQ(network_.route_deletions(), 0);

  // Changes of routes that are not default routes are not even evaluated.
  MIB_IPFORWARD_ROW2 subnet = OnlyHostRoute();
  subnet.DestinationPrefix.PrefixLength = 24;
  network_.Notify(&subnet);
  network_.WaitForNotifications();
  EXPECT_EQ(network_.route_table_reads(), 3);
}

TEST_F(EndpointRouteKeeperTest, KeepsTheRouteWhileNoDefaultRouteIsUsable) {
  AddTwoUplinks();
  EndpointRouteKeeper keeper(network_.Functions());
  ASSERT_TRUE(keeper.StartEndpointRoute(L"Endpoint=192.0.2.7:1", kTunnel));
  network_.SetConnected(kEthernet, false);
  network_.SetConnected(kWifi, false);
  network_.Notify(nullptr);
  network_.WaitForNotifications();
  EXPECT_EQ(OnlyHostRoute().InterfaceLuid.Value, kEthernet);
  EXPECT_EQ(network_.route_deletions(), 0);

  // The route table cannot be read: the same.
  network_.FailRouteTableReads(true);
  network_.SetConnected(kWifi, true);
  network_.Notify(nullptr);
  network_.WaitForNotifications();
  EXPECT_EQ(OnlyHostRoute().InterfaceLuid.Value, kEthernet);

  network_.FailRouteTableReads(false);
  network_.Notify(nullptr);
  network_.WaitForNotifications();
  EXPECT_EQ(OnlyHostRoute().InterfaceLuid.Value, kWifi);
}

TEST_F(EndpointRouteKeeperTest, FailedCreationIsRetriedAtTheNextChange) {
  AddTwoUplinks();
  network_.FailRouteCreations(1, ERROR_ACCESS_DENIED);
  EndpointRouteKeeper keeper(network_.Functions());
  EXPECT_FALSE(keeper.StartEndpointRoute(L"Endpoint=192.0.2.7:1", kTunnel));
  EXPECT_TRUE(network_.HostRoutes().empty());

  network_.Notify(nullptr);
  network_.WaitForNotifications();
  EXPECT_EQ(OnlyHostRoute().InterfaceLuid.Value, kEthernet);
  keeper.StopEndpointRoute();
  EXPECT_TRUE(network_.HostRoutes().empty());
}

TEST_F(EndpointRouteKeeperTest, AdoptsAnExistingIdenticalRouteAndRemovesIt) {
  AddTwoUplinks();
  MIB_IPFORWARD_ROW2 existing{};
  existing.InterfaceLuid.Value = kEthernet;
  existing.NextHop = FakeNetwork::Address(L"10.0.0.1");
  existing.DestinationPrefix.Prefix = FakeNetwork::Address(L"192.0.2.7");
  existing.DestinationPrefix.PrefixLength = 32;
  existing.Metric = 77;
  network_.AddRouteSilently(existing);

  EndpointRouteKeeper keeper(network_.Functions());
  EXPECT_TRUE(keeper.StartEndpointRoute(L"Endpoint=192.0.2.7:1", kTunnel));
  EXPECT_EQ(OnlyHostRoute().Metric, 0u);  // updated with the keeper's row
  keeper.StopEndpointRoute();
  EXPECT_TRUE(network_.HostRoutes().empty());
}

TEST_F(EndpointRouteKeeperTest, WithoutRegistrationTheRouteIsNeverMoved) {
  AddTwoUplinks();
  network_.FailNotifyRegistration(true);
  EndpointRouteKeeper keeper(network_.Functions());
  EXPECT_TRUE(keeper.StartEndpointRoute(L"Endpoint=192.0.2.7:1", kTunnel));
  network_.RemoveDefaultRoutes(kEthernet);
  network_.WaitForNotifications();
  EXPECT_EQ(OnlyHostRoute().InterfaceLuid.Value, kEthernet);
  keeper.StopEndpointRoute();
  EXPECT_TRUE(network_.HostRoutes().empty());
}

TEST_F(EndpointRouteKeeperTest, MissingSystemFunctionsCountAsFailedCalls) {
  AddTwoUplinks();
  // What Wine offers: tables and aliases, but no interface entries and no
  // route creation.
  tunnel_host::IpHelperFunctions functions = network_.Functions();
  functions.InitializeIpInterfaceEntry = nullptr;
  functions.GetIpInterfaceEntry = nullptr;
  functions.InitializeIpForwardEntry = nullptr;
  functions.CreateIpForwardEntry2 = nullptr;
  functions.SetIpForwardEntry2 = nullptr;
  functions.DeleteIpForwardEntry2 = nullptr;
  EndpointRouteKeeper keeper(functions);
  EXPECT_FALSE(keeper.StartEndpointRoute(L"Endpoint=192.0.2.7:1", kTunnel));
  keeper.StopEndpointRoute();

  // Interface entries present, creation missing: still no route, no crash.
  functions = network_.Functions();
  functions.InitializeIpForwardEntry = nullptr;
  functions.CreateIpForwardEntry2 = nullptr;
  EndpointRouteKeeper second(functions);
  EXPECT_FALSE(second.StartEndpointRoute(L"Endpoint=192.0.2.7:1", kTunnel));
  EXPECT_TRUE(network_.HostRoutes().empty());
  EXPECT_EQ(network_.outstanding_allocations(), 0);
}

// Route changes arrive on the system's thread at any moment, also while the
// keeper starts and stops. After every stop the host route must be gone and
// must stay gone: a late notification must not bring it back.
TEST_F(EndpointRouteKeeperTest, NotificationsRacingStartAndStop) {
  AddTwoUplinks();
  std::atomic<bool> done{false};
  std::thread churn([&] {
    bool flip = false;
    while (!done.load()) {
      if (flip) {
        network_.RemoveDefaultRoutes(0x5000);
      } else {
        network_.AddDefaultRoute(0x5000, L"10.5.0.1", 0);
      }
      network_.Notify(nullptr);
      flip = !flip;
      std::this_thread::yield();
    }
  });
  AddInterface(0x5000, L"Flapping", 1);

  for (int round = 0; round < 60; ++round) {
    EndpointRouteKeeper keeper(network_.Functions());
    keeper.StartEndpointRoute(L"Endpoint=192.0.2.7:1", kTunnel);
    if (round % 2 == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    keeper.StopEndpointRoute();
    EXPECT_TRUE(network_.HostRoutes().empty()) << "round " << round;
  }
  done = true;
  churn.join();
  network_.WaitForNotifications();
  EXPECT_TRUE(network_.HostRoutes().empty());
  EXPECT_EQ(network_.active_registrations(), 0);
  EXPECT_EQ(network_.outstanding_allocations(), 0);
}

}  // namespace
