// The host's line scan of the configuration text: plain text work without
// system calls, so that it builds and is fuzzed on any platform.

#ifndef TUNNEL_HOST_CONFIG_SCAN_H_
#define TUNNEL_HOST_CONFIG_SCAN_H_

#include <cstddef>
#include <string>
#include <vector>

namespace velk {

// The configuration is scanned line by line (lines end at LF) for two keys
// only, wherever they stand: sections are not known, and a line counts when
// the text before its first "=" is, trimmed and ignoring the case of ASCII
// letters, "Endpoint" or "DNS".

// How many lines of each key the text holds.
struct HostKeyCounts {
  size_t endpoint_lines = 0;
  size_t dns_lines = 0;
};
HostKeyCounts CountHostKeys(const std::wstring& config_text);

// The host part of the first Endpoint line: the text inside "[...]" for a
// bracketed value, else the text before the last ":". Empty when there is no
// Endpoint line or its value gives no host.
std::wstring ReadEndpointHost(const std::wstring& config_text);

// The comma-separated items of every DNS line, in order, each trimmed; a
// trailing comma adds no item, but empty items between commas are kept.
std::vector<std::wstring> ReadDnsItems(const std::wstring& config_text);

// `text` without leading and trailing white space (as iswspace classes it).
std::wstring TrimSpaces(const std::wstring& text);

}  // namespace velk

#endif  // TUNNEL_HOST_CONFIG_SCAN_H_
