#ifndef TUNNEL_HOST_CONFIG_READING_H_
#define TUNNEL_HOST_CONFIG_READING_H_

#include <string>

namespace velk {

// The DNS servers of a configuration, by family, each list joined by ","
// without spaces, every address kept exactly as it was written.
struct DnsServerLists {
  std::wstring ipv4;
  std::wstring ipv6;
};

// The configuration is scanned line by line for two keys only, wherever
// they stand: sections are not known, and a line counts when the text before
// its first "=" is, trimmed and ignoring case, "Endpoint" or "DNS".

// The host part of the first Endpoint line: the text inside "[...]" for a
// bracketed value, else the text before the last ":". Empty when there is no
// Endpoint line or its value gives no host.
std::wstring ReadEndpointHost(const std::wstring& config_text);

// Appends every IPv4 and IPv6 server address of every DNS line to `lists`,
// in order of appearance. Items that are not an address are dropped.
void ReadDnsServers(const std::wstring& config_text, DnsServerLists& lists);

// `text` without leading and trailing white space (as iswspace classes it).
std::wstring TrimSpaces(const std::wstring& text);

}  // namespace velk

#endif  // TUNNEL_HOST_CONFIG_READING_H_
