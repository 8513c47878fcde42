#include "tunnel_host/config_reading.h"

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
// clang-format on

namespace velk {
namespace {

bool IsAddressOf(int family, const std::wstring& item) {
  // Large enough for an IPv6 address; InetPtonW writes at most 16 bytes.
  unsigned char address[16];
  return InetPtonW(family, item.c_str(), address) == 1;
}

void AppendToList(std::wstring& list, const std::wstring& item) {
  if (!list.empty()) list += L',';
  list += item;
}

}  // namespace

void ReadDnsServers(const std::wstring& config_text, DnsServerLists& lists) {
  for (const std::wstring& item : ReadDnsItems(config_text)) {
    if (IsAddressOf(AF_INET, item)) {
      AppendToList(lists.ipv4, item);
    } else if (IsAddressOf(AF_INET6, item)) {
      AppendToList(lists.ipv6, item);
    }
  }
}

}  // namespace velk
