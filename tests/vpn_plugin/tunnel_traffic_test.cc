// The received-byte count of the tunnel's interfaces against a fake
// interface table: which aliases count, and what a failed read gives.

#include "client/vpn_plugin/tunnel_traffic.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

namespace velk::test {
namespace {

struct FakeInterface {
  std::wstring alias;
  ULONG64 in_octets;
};

// The table that GetIfTable2 hands out, and what became of it.
std::vector<FakeInterface> g_interfaces;
bool g_read_fails = false;
int g_tables_out = 0;

NETIO_STATUS WINAPI FakeGetIfTable2(PMIB_IF_TABLE2* table) {
  if (g_read_fails) return ERROR_NOT_ENOUGH_MEMORY;
  const size_t rows = g_interfaces.size();
  const size_t bytes = offsetof(MIB_IF_TABLE2, Table) +
                       (rows > 0 ? rows : 1) * sizeof(MIB_IF_ROW2);
  auto* result = static_cast<MIB_IF_TABLE2*>(calloc(1, bytes));
  result->NumEntries = static_cast<ULONG>(rows);
  for (size_t i = 0; i < rows; ++i) {
    MIB_IF_ROW2& row = result->Table[i];
    // An alias of the whole array's length has no terminator.
    wcsncpy(row.Alias, g_interfaces[i].alias.c_str(), std::size(row.Alias));
    row.InOctets = g_interfaces[i].in_octets;
    row.OutOctets = 1000000;  // never counted
  }
  *table = result;
  ++g_tables_out;
  return NO_ERROR;
}

VOID WINAPI FakeFreeMibTable(PVOID memory) {
  --g_tables_out;
  free(memory);
}

uint64_t Count(const std::vector<FakeInterface>& interfaces) {
  g_interfaces = interfaces;
  velk::IpHelperFunctions functions;
  functions.GetIfTable2 = &FakeGetIfTable2;
  functions.FreeMibTable = &FakeFreeMibTable;
  const uint64_t received =
      velk::TunnelReceivedBytes(velk::IpHelper(functions));
  EXPECT_EQ(g_tables_out, 0) << "the table is freed";
  return received;
}

TEST(TunnelTraffic, CountsTheTunnelsAliasesOnly) {
  const std::wstring full(IF_MAX_STRING_SIZE + 1, L'x');
  EXPECT_EQ(Count({{L"TovraneVPN", 5}}), 5u);
  EXPECT_EQ(Count({{L"TovraneVPN 3", 7}}), 7u);
  EXPECT_EQ(Count({{L"TovraneVPN3", 7}}), 0u);
  EXPECT_EQ(Count({{L"tovranevpn", 7}}), 0u);
  EXPECT_EQ(Count({{L"TovraneVP", 7}, {L" TovraneVPN", 9}}), 0u);
  // Every matching interface counts, InOctets summed past 32 bits.
  EXPECT_EQ(Count({{L"Ethernet", 1u << 30},
                   {L"TovraneVPN", 0x100000000},
                   {L"TovraneVPN 2", 0x100000001},
                   {full, 11}}),
            0x200000001u);
  EXPECT_EQ(Count({}), 0u);
}

TEST(TunnelTraffic, UnreadableTableCountsAsNoTraffic) {
  g_read_fails = true;
  EXPECT_EQ(Count({{L"TovraneVPN", 5}}), 0u);
  g_read_fails = false;

  // A system without the function at all.
  g_interfaces = {{L"TovraneVPN", 5}};
  EXPECT_EQ(
      velk::TunnelReceivedBytes(velk::IpHelper(velk::IpHelperFunctions{})), 0u);
}

}  // namespace
}  // namespace velk::test
