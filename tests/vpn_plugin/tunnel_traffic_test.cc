// The received-byte count of the tunnel's interfaces against the fake
// network's interface table: which aliases count, and what a failed read
// gives.

#include "client/vpn_plugin/tunnel_traffic.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/fake_network.h"

namespace velk::test {
namespace {

struct Row {
  std::wstring alias;
  ULONG64 in_octets;
};

uint64_t Count(const std::vector<Row>& rows) {
  FakeNetwork network;
  uint64_t luid = 1;
  for (const Row& row : rows) {
    network.AddInterface(
        {.luid = luid++, .alias = row.alias, .in_octets = row.in_octets});
  }
  const uint64_t received = TunnelReceivedBytes(IpHelper(network.Functions()));
  EXPECT_EQ(network.counters().outstanding_allocations, 0)
      << "the table is freed";
  return received;
}

TEST(TunnelTraffic, CountsTheTunnelsAliasesOnly) {
  EXPECT_EQ(Count({{L"TovraneVPN", 5}}), 5u);
  EXPECT_EQ(Count({{L"TovraneVPN 3", 7}}), 7u);
  EXPECT_EQ(Count({{L"TovraneVPN3", 7}}), 0u);
  EXPECT_EQ(Count({{L"tovranevpn", 7}}), 0u);
  EXPECT_EQ(Count({{L"TovraneVP", 7}, {L" TovraneVPN", 9}}), 0u);
  // Every matching interface counts, InOctets summed past 32 bits.
  EXPECT_EQ(Count({{L"Ethernet", 1u << 30},
                   {L"TovraneVPN", 0x100000000},
                   {L"TovraneVPN 2", 0x100000001}}),
            0x200000001u);
  EXPECT_EQ(Count({}), 0u);
}

TEST(TunnelTraffic, UnreadableTableCountsAsNoTraffic) {
  FakeNetwork network;
  network.AddInterface({.luid = 1, .alias = L"TovraneVPN", .in_octets = 5});
  IpHelperFunctions functions = network.Functions();
  functions.GetIfTable2 = [](PMIB_IF_TABLE2*) -> NETIO_STATUS {
    return ERROR_NOT_ENOUGH_MEMORY;
  };
  EXPECT_EQ(TunnelReceivedBytes(IpHelper(functions)), 0u);
  // A system without the function at all.
  functions.GetIfTable2 = nullptr;
  EXPECT_EQ(TunnelReceivedBytes(IpHelper(functions)), 0u);
}

}  // namespace
}  // namespace velk::test
