#include "client/vpn_plugin/tunnel_traffic.h"

#include <cwchar>
#include <iterator>
#include <string_view>

#include "common/tunnel_identity.h"

namespace velk {

uint64_t TunnelReceivedBytes(const IpHelper& ip_helper) {
  ScopedMibTable<MIB_IF_TABLE2> table(ip_helper);
  if (ip_helper.GetIfTable2(table.receive()) != NO_ERROR ||
      table.get() == nullptr) {
    return 0;
  }
  uint64_t received_bytes = 0;
  for (ULONG i = 0; i < table.get()->NumEntries; ++i) {
    const MIB_IF_ROW2& row = table.get()->Table[i];
    // Bounded: a row whose alias fills the whole array has no terminator.
    const std::wstring_view alias(row.Alias,
                                  wcsnlen(row.Alias, std::size(row.Alias)));
    if (IsTunnelAlias(alias, kTunnelName)) received_bytes += row.InOctets;
  }
  return received_bytes;
}

uint64_t TunnelReceivedBytes() {
  return TunnelReceivedBytes(IpHelper(SystemIpHelperFunctions()));
}

}  // namespace velk
