#ifndef TUNNEL_HOST_CONFIG_READING_H_
#define TUNNEL_HOST_CONFIG_READING_H_

#include <string>

#include "tunnel_host/config_scan.h"

namespace velk {

// The DNS servers of a configuration, by family, each list joined by ","
// without spaces, every address kept exactly as it was written.
struct DnsServerLists {
  std::wstring ipv4;
  std::wstring ipv6;
};

// Appends every IPv4 and IPv6 server address of every DNS line to `lists`,
// in order of appearance. Items that are not an address are dropped.
void ReadDnsServers(const std::wstring& config_text, DnsServerLists& lists);

}  // namespace velk

#endif  // TUNNEL_HOST_CONFIG_READING_H_
