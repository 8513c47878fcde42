#include "tunnel_host/tunnel_dns_keeper.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/tunnel_host/fake_network.h"

namespace {

using tunnel_host_test::FakeNetwork;
using velk::TunnelDnsKeeper;

constexpr wchar_t kTunnel[] = L"TovraneVPN";
// Short polls keep the tests quick; the waits allow for many of them.
constexpr std::chrono::milliseconds kPoll{20};
constexpr int kWaitMs = 5000;

void Settle() { std::this_thread::sleep_for(kPoll * 6); }

class TunnelDnsKeeperTest : public testing::Test {
 protected:
  // The GUID's first field tells interfaces apart in the calls.
  void AddAdapter(uint64_t luid, const std::wstring& alias, unsigned long id) {
    network_.AddInterface({luid, alias, true, true, 0, {id, 0, 0, {}}});
  }

  FakeNetwork network_;
};

TEST_F(TunnelDnsKeeperTest, SetsEachFamilyWithOneCallIpv4First) {
  AddAdapter(7, L"TovraneVPN", 70);
  struct Case {
    const wchar_t* config;
    std::vector<std::pair<ULONG64, std::wstring>> calls;  // flags, servers
  };
  const Case cases[] = {
      {L"DNS = 10.0.0.1, 10.0.0.2", {{2, L"10.0.0.1,10.0.0.2"}}},
      {L"DNS = 2001:db8::53", {{3, L"2001:db8::53"}}},
      {L"DNS = 2001:db8::53, 10.0.0.1\nDNS = ::1",
       {{2, L"10.0.0.1"}, {3, L"2001:db8::53,::1"}}},
  };
  size_t seen = 0;
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.config);
    TunnelDnsKeeper keeper(network_.Functions(), kPoll);
    keeper.StartTunnelDns(test_case.config, kTunnel);
    ASSERT_TRUE(
        network_.WaitForDnsCalls(seen + test_case.calls.size(), kWaitMs));
    Settle();  // the interface stays: no further call
    keeper.StopTunnelDns();
    const std::vector<FakeNetwork::DnsCall> calls = network_.DnsCalls();
    ASSERT_EQ(calls.size(), seen + test_case.calls.size());
    for (size_t i = 0; i < test_case.calls.size(); ++i) {
      const FakeNetwork::DnsCall& call = calls[seen + i];
      EXPECT_EQ(call.flags, test_case.calls[i].first);
      EXPECT_EQ(call.name_servers, test_case.calls[i].second);
      EXPECT_EQ(call.version, 1u);
      EXPECT_TRUE(call.other_fields_empty);
      EXPECT_EQ(call.guid.Data1, 70u);
    }
    seen = calls.size();
  }
}

TEST_F(TunnelDnsKeeperTest, FailedCallRepeatsBothFamiliesNextPass) {
  AddAdapter(7, L"TovraneVPN", 70);
  network_.FailDnsCalls(1);  // the first IPv4 call
  TunnelDnsKeeper keeper(network_.Functions(), kPoll);
  keeper.StartTunnelDns(L"DNS = 10.0.0.1, 2001:db8::1", kTunnel);
  ASSERT_TRUE(network_.WaitForDnsCalls(4, kWaitMs));
  Settle();
  keeper.StopTunnelDns();
  const std::vector<FakeNetwork::DnsCall> calls = network_.DnsCalls();
  ASSERT_EQ(calls.size(), 4u);
  // The IPv6 call is made although the IPv4 call failed.
  std::vector<ULONG64> flags;
  for (const FakeNetwork::DnsCall& call : calls) flags.push_back(call.flags);
  EXPECT_EQ(flags, (std::vector<ULONG64>{2, 3, 2, 3}));
}

TEST_F(TunnelDnsKeeperTest, ServesTheFirstMatchingInterfaceEachTimeItAppears) {
  TunnelDnsKeeper keeper(network_.Functions(), kPoll);
  keeper.StartTunnelDns(L"DNS = 10.0.0.1", kTunnel);
  ASSERT_TRUE(keeper.is_running());
  AddAdapter(1, L"tovranevpn", 10);
  AddAdapter(2, L"TovraneVPN2", 20);
  Settle();
  EXPECT_TRUE(network_.DnsCalls().empty());

  AddAdapter(3, L"TovraneVPN 3", 30);
  AddAdapter(4, L"TovraneVPN", 40);
  ASSERT_TRUE(network_.WaitForDnsCalls(1, kWaitMs));
  Settle();
  ASSERT_EQ(network_.DnsCalls().size(), 1u);
  EXPECT_EQ(network_.DnsCalls()[0].guid.Data1, 30u);

  // Gone, and back under a new identity: served again.
  network_.RemoveInterface(3);
  network_.RemoveInterface(4);
  Settle();
  AddAdapter(8, L"TovraneVPN", 80);
  ASSERT_TRUE(network_.WaitForDnsCalls(2, kWaitMs));
  keeper.StopTunnelDns();
  EXPECT_EQ(network_.DnsCalls()[1].guid.Data1, 80u);
  EXPECT_EQ(network_.counters().outstanding_allocations, 0);
}

TEST_F(TunnelDnsKeeperTest, DoesNotStartWithoutServersOrSettingsCall) {
  AddAdapter(7, L"TovraneVPN", 70);
  TunnelDnsKeeper no_servers(network_.Functions(), kPoll);
  no_servers.StartTunnelDns(L"DNS = corp.example, #1.1.1.1\n#DNS=1.1.1.1",
                            kTunnel);
  EXPECT_FALSE(no_servers.is_running());

  velk::IpHelperFunctions without_call = network_.Functions();
  without_call.SetInterfaceDnsSettings = nullptr;
  TunnelDnsKeeper no_call(without_call, kPoll);
  no_call.StartTunnelDns(L"DNS = 10.0.0.1", kTunnel);
  EXPECT_FALSE(no_call.is_running());
  Settle();
  EXPECT_TRUE(network_.DnsCalls().empty());
}

TEST_F(TunnelDnsKeeperTest, StopEndsTheWorkerWithoutWaitingOutThePoll) {
  AddAdapter(7, L"TovraneVPN", 70);
  TunnelDnsKeeper keeper(network_.Functions());  // the real 500 ms polls
  keeper.StartTunnelDns(L"DNS = 10.0.0.1", kTunnel);
  ASSERT_TRUE(network_.WaitForDnsCalls(1, kWaitMs));
  const auto before = std::chrono::steady_clock::now();
  keeper.StopTunnelDns();
  EXPECT_LT(std::chrono::steady_clock::now() - before,
            std::chrono::milliseconds(300));
  EXPECT_FALSE(keeper.is_running());

  // No more calls after the stop, and none that undo the settings.
  network_.RemoveInterface(7);
  AddAdapter(9, L"TovraneVPN", 90);
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  EXPECT_EQ(network_.DnsCalls().size(), 1u);
}

}  // namespace
