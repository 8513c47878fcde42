#include "tunnel_host/tunnel_dns_keeper.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/tunnel_host/fake_network.h"

namespace {

using tunnel_host::TunnelDnsKeeper;
using tunnel_host_test::FakeNetwork;

constexpr wchar_t kTunnel[] = L"TovraneVPN";
// Short polls keep the tests quick; the waits below allow for many of them.
constexpr std::chrono::milliseconds kPoll{20};
constexpr int kWaitMs = 5000;

GUID GuidNumber(unsigned long number) {
  GUID guid{};
  guid.Data1 = number;
  return guid;
}

void Settle() { std::this_thread::sleep_for(kPoll * 6); }

class TunnelDnsKeeperTest : public testing::Test {
 protected:
  void AddInterface(uint64_t luid, const std::wstring& alias,
                    unsigned long guid_number) {
    FakeNetwork::Interface adapter;
    adapter.luid = luid;
    adapter.alias = alias;
    adapter.guid = GuidNumber(guid_number);
    network_.AddInterface(adapter);
  }

  FakeNetwork network_;
};

TEST_F(TunnelDnsKeeperTest, SetsEachFamilyWithItsOwnCall) {
  AddInterface(7, L"TovraneVPN", 70);
  struct Case {
    const wchar_t* config;
    std::vector<std::pair<ULONG64, std::wstring>> calls;
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
    Settle();
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
  AddInterface(7, L"TovraneVPN", 70);
  network_.FailDnsCalls(1);  // the first IPv4 call
  TunnelDnsKeeper keeper(network_.Functions(), kPoll);
  keeper.StartTunnelDns(L"DNS = 10.0.0.1, 2001:db8::1", kTunnel);
  ASSERT_TRUE(network_.WaitForDnsCalls(4, kWaitMs));
  Settle();
  keeper.StopTunnelDns();
  const std::vector<FakeNetwork::DnsCall> calls = network_.DnsCalls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].flags, 2u);
  EXPECT_EQ(calls[1].flags, 3u);  // made although the IPv4 call failed
  EXPECT_EQ(calls[2].flags, 2u);
  EXPECT_EQ(calls[3].flags, 3u);
}

TEST_F(TunnelDnsKeeperTest, ServesTheInterfaceWhenItAppearsAndReappears) {
  network_.FailInterfaceTableReads(true);
  TunnelDnsKeeper keeper(network_.Functions(), kPoll);
  keeper.StartTunnelDns(L"DNS = 10.0.0.1", kTunnel);
  ASSERT_TRUE(keeper.is_running());
  Settle();
  network_.FailInterfaceTableReads(false);
  AddInterface(1, L"Ethernet", 10);
  Settle();
  EXPECT_TRUE(network_.DnsCalls().empty());

  AddInterface(7, L"TovraneVPN 3", 70);
  ASSERT_TRUE(network_.WaitForDnsCalls(1, kWaitMs));
  Settle();
  EXPECT_EQ(network_.DnsCalls().size(), 1u);  // once while it stays

  // Gone, and back under a new identity: served again.
  network_.RemoveInterface(7);
  Settle();
  AddInterface(8, L"TovraneVPN", 80);
  ASSERT_TRUE(network_.WaitForDnsCalls(2, kWaitMs));
  keeper.StopTunnelDns();
  EXPECT_EQ(network_.DnsCalls()[1].guid.Data1, 80u);
  EXPECT_FALSE(keeper.is_running());
  EXPECT_EQ(network_.outstanding_allocations(), 0);
}

TEST_F(TunnelDnsKeeperTest, UsesTheFirstInterfaceWithTheTunnelsAlias) {
  AddInterface(1, L"tovranevpn", 10);
  AddInterface(2, L"TovraneVPN2", 20);
  AddInterface(3, L"TovraneVPN 2", 30);
  AddInterface(4, L"TovraneVPN", 40);
  TunnelDnsKeeper keeper(network_.Functions(), kPoll);
  keeper.StartTunnelDns(L"DNS = 10.0.0.1", kTunnel);
  ASSERT_TRUE(network_.WaitForDnsCalls(1, kWaitMs));
  keeper.StopTunnelDns();
  EXPECT_EQ(network_.DnsCalls()[0].guid.Data1, 30u);
}

TEST_F(TunnelDnsKeeperTest, DoesNotStartWithoutServersOrSettingsCall) {
  AddInterface(7, L"TovraneVPN", 70);
  tunnel_host::IpHelperFunctions without_call = network_.Functions();
  without_call.SetInterfaceDnsSettings = nullptr;
  {
    TunnelDnsKeeper keeper(network_.Functions(), kPoll);
    keeper.StartTunnelDns(L"[Interface]\nDNS = corp.example, #1.1.1.1",
                          kTunnel);
    EXPECT_FALSE(keeper.is_running());
    keeper.StopTunnelDns();
  }
  {
    TunnelDnsKeeper keeper(without_call, kPoll);
    keeper.StartTunnelDns(L"DNS = 10.0.0.1", kTunnel);
    EXPECT_FALSE(keeper.is_running());
  }
  Settle();
  EXPECT_TRUE(network_.DnsCalls().empty());
}

TEST_F(TunnelDnsKeeperTest, StopEndsTheWorkerPromptlyAndLeavesTheSettings) {
  AddInterface(7, L"TovraneVPN", 70);
  TunnelDnsKeeper keeper(network_.Functions());  // the real 500 ms polls
  keeper.StartTunnelDns(L"DNS = 10.0.0.1", kTunnel);
  ASSERT_TRUE(network_.WaitForDnsCalls(1, kWaitMs));
  // The stop must not wait out the poll.
  const auto before = std::chrono::steady_clock::now();
  keeper.StopTunnelDns();
  const auto took = std::chrono::steady_clock::now() - before;
  EXPECT_LT(took, std::chrono::milliseconds(300));
  EXPECT_FALSE(keeper.is_running());

  // Nothing more happens: no further call, and no call that undoes them.
  network_.RemoveInterface(7);
  AddInterface(9, L"TovraneVPN", 90);
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  EXPECT_EQ(network_.DnsCalls().size(), 1u);
}

}  // namespace
