// The fake network's interface table, as the status monitor's tests will read
// it: aliases Linux cannot give a real interface, and received bytes a test
// sets.
#include "tests/support/fake_network.h"

#include <gtest/gtest.h>

#include <string>

namespace velk::test {
namespace {

TEST(FakeNetwork, ServesAliasesAndReceivedBytesThroughTheInterfaceTable) {
  FakeNetwork network;
  network.AddInterface({1, L"Ethernet", true, true, 0, {}, 500});
  network.AddInterface({2, L"TovraneVPN 2", true, true, 0, {}});
  network.SetInOctets(2, 0x1'0000'0001);  // past 32 bits
  const IpHelperFunctions functions = network.Functions();
  const IpHelper ip_helper(functions);
  {
    ScopedMibTable<MIB_IF_TABLE2> table(ip_helper);
    ASSERT_EQ(ip_helper.GetIfTable2(table.receive()), NO_ERROR);
    ASSERT_EQ(table.get()->NumEntries, 2u);
    EXPECT_EQ(std::wstring(table.get()->Table[0].Alias), L"Ethernet");
    EXPECT_EQ(table.get()->Table[0].InOctets, 500u);
    EXPECT_EQ(std::wstring(table.get()->Table[1].Alias), L"TovraneVPN 2");
    EXPECT_EQ(table.get()->Table[1].InterfaceLuid.Value, 2u);
    EXPECT_EQ(table.get()->Table[1].InOctets, 0x1'0000'0001u);
    EXPECT_EQ(network.counters().outstanding_allocations, 1);
  }
  // The owner freed the table through the fake that made it.
  EXPECT_EQ(network.counters().outstanding_allocations, 0);
}

}  // namespace
}  // namespace velk::test
