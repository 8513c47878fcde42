#include "tunnel_host/endpoint_route_keeper.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/support/fake_network.h"

namespace {

using velk::EndpointRouteKeeper;
using velk::test::FakeNetwork;

constexpr wchar_t kTunnel[] = L"TovraneVPN";
constexpr wchar_t kConfig[] = L"[Peer]\nEndpoint = 192.0.2.7:51820\n";
constexpr uint64_t kEthernet = 0x1000;
constexpr uint64_t kWifi = 0x2000;

std::wstring NextHopOf(const MIB_IPFORWARD_ROW2& row) {
  wchar_t text[64] = {};
  const void* address = &row.NextHop.Ipv4.sin_addr;
  if (row.NextHop.si_family == AF_INET6) address = &row.NextHop.Ipv6.sin6_addr;
  InetNtopW(row.NextHop.si_family, address, text, 64);
  return text;
}

class EndpointRouteKeeperTest : public testing::Test {
 protected:
  void AddAdapter(uint64_t luid, const std::wstring& alias, ULONG metric,
                  bool connected = true) {
    network_.AddInterface({luid, alias, true, connected, metric, {}});
  }

  // Ethernet (route 10 + interface 25) beats Wi-Fi (0 + 50).
  void AddTwoUplinks() {
    AddAdapter(kEthernet, L"Ethernet", 25);
    AddAdapter(kWifi, L"Wi-Fi", 50);
    network_.AddDefaultRoute(kWifi, L"192.168.1.1", 0);
    network_.AddDefaultRoute(kEthernet, L"10.0.0.1", 10);
  }

  // The single host route; fails the test when there is not exactly one.
  MIB_IPFORWARD_ROW2 OnlyHostRoute() {
    std::vector<MIB_IPFORWARD_ROW2> routes = network_.HostRoutes();
    EXPECT_EQ(routes.size(), 1u);
    return routes.empty() ? MIB_IPFORWARD_ROW2{} : routes[0];
  }

  void Settle() { network_.WaitForNotifications(); }

  FakeNetwork network_;
};

TEST_F(EndpointRouteKeeperTest, InstallsHostRouteAndRemovesItAtStop) {
  AddTwoUplinks();
  EndpointRouteKeeper keeper(network_.Functions());
  EXPECT_TRUE(keeper.StartEndpointRoute(kConfig, kTunnel));

  const MIB_IPFORWARD_ROW2 route = OnlyHostRoute();
  EXPECT_EQ(route.InterfaceLuid.Value, kEthernet);
  EXPECT_EQ(NextHopOf(route), L"10.0.0.1");
  EXPECT_EQ(route.DestinationPrefix.PrefixLength, 32);
  const SOCKADDR_INET endpoint = FakeNetwork::Address(L"192.0.2.7");
  EXPECT_EQ(memcmp(&route.DestinationPrefix.Prefix, &endpoint, 28), 0);
  EXPECT_EQ(route.Metric, 0u);
  EXPECT_EQ(route.Protocol, 3);
  EXPECT_EQ(route.ValidLifetime, 0xffffffffu);  // from the initialiser
  EXPECT_EQ(network_.counters().registered_family, AF_INET);

  keeper.StopEndpointRoute();
  EXPECT_TRUE(network_.HostRoutes().empty());
  EXPECT_EQ(network_.counters().active_registrations, 0);
  EXPECT_EQ(network_.counters().outstanding_allocations, 0);
}

TEST_F(EndpointRouteKeeperTest, ChoosesByMetricSumAndSkipsUnusableRoutes) {
  // Each of the first four would win on metric alone.
  AddAdapter(0x3000, L"TovraneVPN", 0);
  AddAdapter(0x3001, L"TovraneVPN 7", 0);
  AddAdapter(0x3002, L"Cable", 0, /*connected=*/false);
  network_.AddInterface({0x3003, L"TovraneVPN 2", false, true, 60, {}});
  AddAdapter(0x3004, L"TovraneVPN7", 70);  // not the tunnel's alias
  AddAdapter(0x3005, L"Backup", 40);       // equal sum, later in the table
  AddAdapter(kEthernet, L"Ethernet", 200);
  network_.AddDefaultRoute(0x3000, L"10.9.0.1", 0);
  network_.AddDefaultRoute(0x3001, L"10.9.1.1", 0);
  network_.AddDefaultRoute(0x3002, L"10.9.2.1", 0);
  network_.AddDefaultRoute(0x3003, L"10.9.3.1", 10);
  network_.AddDefaultRoute(0x3004, L"10.9.4.1", 0);
  network_.AddDefaultRoute(0x3005, L"10.9.5.1", 30);
  network_.AddDefaultRoute(kEthernet, L"10.0.0.1", 0);
  EndpointRouteKeeper keeper(network_.Functions());
  EXPECT_TRUE(keeper.StartEndpointRoute(kConfig, kTunnel));
  // An alias that cannot be read does not exclude a route.
  EXPECT_EQ(OnlyHostRoute().InterfaceLuid.Value, 0x3003u);
}

TEST_F(EndpointRouteKeeperTest, SkipsTheTunnelUnderAnAliasOfMaximumLength) {
  // 256 characters, the longest alias an interface can have: the whole
  // 257-character buffer is needed to read it.
  const std::wstring long_alias =
      std::wstring(kTunnel) + L" " + std::wstring(245, L'x');
  ASSERT_EQ(long_alias.size(), 256u);
  AddAdapter(0x3000, long_alias, 0);
  AddAdapter(kEthernet, L"Ethernet", 50);
  network_.AddDefaultRoute(0x3000, L"10.9.0.1", 0);
  network_.AddDefaultRoute(kEthernet, L"10.0.0.1", 0);
  EndpointRouteKeeper keeper(network_.Functions());
  EXPECT_TRUE(keeper.StartEndpointRoute(kConfig, kTunnel));
  EXPECT_EQ(OnlyHostRoute().InterfaceLuid.Value, kEthernet);
}

TEST_F(EndpointRouteKeeperTest, PrefersIpv4AndFollowsTheEndpointsFamily) {
  AddTwoUplinks();
  network_.AddName(L"both.example", {L"2001:db8::7", L"192.0.2.8"});
  network_.AddName(L"v6.example", {L"2001:db8::7"});
  {
    EndpointRouteKeeper keeper(network_.Functions());
    EXPECT_TRUE(keeper.StartEndpointRoute(L"Endpoint=both.example:1", kTunnel));
    EXPECT_EQ(OnlyHostRoute().DestinationPrefix.PrefixLength, 32);
  }
  EndpointRouteKeeper keeper(network_.Functions());
  EXPECT_FALSE(keeper.StartEndpointRoute(L"Endpoint=v6.example:1", kTunnel));
  EXPECT_EQ(network_.counters().registered_family, AF_INET6);
  network_.AddDefaultRoute(kWifi, L"fe80::1", 0);
  Settle();
  EXPECT_EQ(OnlyHostRoute().DestinationPrefix.PrefixLength, 128);
  EXPECT_EQ(NextHopOf(OnlyHostRoute()), L"fe80::1");
  // IPv4 changes are not followed.
  const int reads = network_.counters().route_table_reads;
  network_.AddDefaultRoute(kEthernet, L"10.0.0.2", 0);
  Settle();
  EXPECT_EQ(network_.counters().route_table_reads, reads);
}

TEST_F(EndpointRouteKeeperTest, WithoutUsableEndpointDoesNothing) {
  AddTwoUplinks();
  for (const wchar_t* config :
       {L"[Peer]\nAllowedIPs = 0.0.0.0/0\n", L"Endpoint = [2001:db8::1:5",
        L"Endpoint = unknown.example:1"}) {
    EndpointRouteKeeper keeper(network_.Functions());
    EXPECT_FALSE(keeper.StartEndpointRoute(config, kTunnel)) << config;
    keeper.StopEndpointRoute();
  }
  const FakeNetwork::Counters counters = network_.counters();
  EXPECT_EQ(counters.registrations, 0);
  EXPECT_EQ(counters.route_table_reads, 0);
  EXPECT_EQ(counters.route_deletions, 0);
}

TEST_F(EndpointRouteKeeperTest, MovesTheRouteOnlyWhenTheBestChoiceMoves) {
  AddTwoUplinks();
  EndpointRouteKeeper keeper(network_.Functions());
  ASSERT_TRUE(keeper.StartEndpointRoute(kConfig, kTunnel));
  Settle();
  // Its own host route's notification was not evaluated.
  EXPECT_EQ(network_.counters().route_table_reads, 1);

  // A worse default route: evaluated, no route call.
  AddAdapter(0x4000, L"Modem", 900);
  network_.AddDefaultRoute(0x4000, L"172.16.0.1", 0);
  Settle();
  EXPECT_EQ(network_.counters().route_table_reads, 2);
  EXPECT_EQ(network_.counters().route_writes, 1);
  EXPECT_EQ(network_.counters().route_deletions, 0);

  // Another route that is not a default route: not even evaluated.
  MIB_IPFORWARD_ROW2 subnet = OnlyHostRoute();
  subnet.DestinationPrefix.PrefixLength = 24;
  network_.Notify(&subnet);
  Settle();
  EXPECT_EQ(network_.counters().route_table_reads, 2);

  // The uplink goes down: the route moves to Wi-Fi.
  network_.SetConnected(kEthernet, false);
  network_.RemoveDefaultRoutes(kEthernet);
  Settle();
  EXPECT_EQ(OnlyHostRoute().InterfaceLuid.Value, kWifi);
  EXPECT_EQ(NextHopOf(OnlyHostRoute()), L"192.168.1.1");

  // Wi-Fi's gateway changes: the route follows it on the same interface.
  network_.RemoveDefaultRoutes(kWifi);
  network_.AddDefaultRoute(kWifi, L"192.168.1.254", 0);
  Settle();
  EXPECT_EQ(NextHopOf(OnlyHostRoute()), L"192.168.1.254");
}

TEST_F(EndpointRouteKeeperTest, KeepsTheRouteWhileNoDefaultRouteIsUsable) {
  AddTwoUplinks();
  EndpointRouteKeeper keeper(network_.Functions());
  ASSERT_TRUE(keeper.StartEndpointRoute(kConfig, kTunnel));
  network_.SetConnected(kEthernet, false);
  network_.SetConnected(kWifi, false);
  network_.Notify(nullptr);
  Settle();
  network_.FailRouteTableReads(true);
  network_.SetConnected(kWifi, true);
  network_.Notify(nullptr);
  Settle();
  EXPECT_EQ(OnlyHostRoute().InterfaceLuid.Value, kEthernet);
  EXPECT_EQ(network_.counters().route_deletions, 0);

  network_.FailRouteTableReads(false);
  network_.Notify(nullptr);
  Settle();
  EXPECT_EQ(OnlyHostRoute().InterfaceLuid.Value, kWifi);
}

TEST_F(EndpointRouteKeeperTest, RetriesFailedCreationAndAdoptsExistingRoute) {
  AddTwoUplinks();
  network_.FailRouteCreations(1, ERROR_ACCESS_DENIED);
  EndpointRouteKeeper keeper(network_.Functions());
  EXPECT_FALSE(keeper.StartEndpointRoute(kConfig, kTunnel));
  EXPECT_TRUE(network_.HostRoutes().empty());
  network_.Notify(nullptr);
  Settle();
  EXPECT_EQ(OnlyHostRoute().InterfaceLuid.Value, kEthernet);
  keeper.StopEndpointRoute();

  // The same route made by someone else becomes the keeper's, and goes.
  MIB_IPFORWARD_ROW2 existing{};
  existing.InterfaceLuid.Value = kEthernet;
  existing.NextHop = FakeNetwork::Address(L"10.0.0.1");
  existing.DestinationPrefix.Prefix = FakeNetwork::Address(L"192.0.2.7");
  existing.DestinationPrefix.PrefixLength = 32;
  existing.Metric = 77;
  network_.AddRouteSilently(existing);
  EndpointRouteKeeper second(network_.Functions());
  EXPECT_TRUE(second.StartEndpointRoute(kConfig, kTunnel));
  EXPECT_EQ(OnlyHostRoute().Metric, 0u);
  second.StopEndpointRoute();
  EXPECT_TRUE(network_.HostRoutes().empty());
}

TEST_F(EndpointRouteKeeperTest, MissingSystemFunctionsCountAsFailedCalls) {
  AddTwoUplinks();
  // Wine has no interface entries; without them no route qualifies.
  velk::IpHelperFunctions functions = network_.Functions();
  functions.InitializeIpInterfaceEntry = nullptr;
  functions.GetIpInterfaceEntry = nullptr;
  EndpointRouteKeeper keeper(functions);
  EXPECT_FALSE(keeper.StartEndpointRoute(kConfig, kTunnel));

  // Nor route creation: the route is never made.
  functions = network_.Functions();
  functions.InitializeIpForwardEntry = nullptr;
  functions.CreateIpForwardEntry2 = nullptr;
  EndpointRouteKeeper second(functions);
  EXPECT_FALSE(second.StartEndpointRoute(kConfig, kTunnel));
  EXPECT_TRUE(network_.HostRoutes().empty());
}

// Route changes arrive on the system's thread at any moment, also while the
// keeper starts and stops. After every stop the host route must be gone and
// stay gone: a late notification must not bring it back.
TEST_F(EndpointRouteKeeperTest, NotificationsRacingStartAndStop) {
  AddTwoUplinks();
  AddAdapter(0x5000, L"Flapping", 1);
  std::atomic<bool> done{false};
  std::thread churn([&] {
    for (bool add = true; !done.load(); add = !add) {
      if (add) {
        network_.AddDefaultRoute(0x5000, L"10.5.0.1", 0);
      } else {
        network_.RemoveDefaultRoutes(0x5000);
      }
      std::this_thread::yield();
    }
  });
  for (int round = 0; round < 60; ++round) {
    EndpointRouteKeeper keeper(network_.Functions());
    keeper.StartEndpointRoute(kConfig, kTunnel);
    if (round % 2 == 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    keeper.StopEndpointRoute();
    EXPECT_TRUE(network_.HostRoutes().empty()) << "round " << round;
  }
  done = true;
  churn.join();
  Settle();
  EXPECT_TRUE(network_.HostRoutes().empty());
  EXPECT_EQ(network_.counters().active_registrations, 0);
  EXPECT_EQ(network_.counters().outstanding_allocations, 0);
}

}  // namespace
