// The text work of the tunnel configuration: reading the settings text of a
// connection and writing the configuration text from it. Plain text without
// system calls, so that it builds and is fuzzed on any platform; the keys'
// decoding and encoding stay with the builder (tunnel_config.h).

#ifndef CLIENT_PROVISIONING_TUNNEL_CONFIG_TEXT_H_
#define CLIENT_PROVISIONING_TUNNEL_CONFIG_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace velk {

// Bounds far above any real connection. The settings text bound keeps the
// whole configuration text well inside what setup accepts as its input.
inline constexpr size_t kMaxTunnelValueBytes = 4096;
inline constexpr size_t kMaxTunnelSettingsTextBytes = 32768;

// The settings text parsed into its key=value lines.
struct TunnelSettings {
  // A later line with the same key replaces the earlier value.
  std::map<std::string, std::string> values;
  // One entry per "allowed_ip" line, in order, duplicates kept.
  std::vector<std::string> allowed_ips;
};

TunnelSettings ParseTunnelSettings(const std::string& settings_text);

// Writes the twenty-line configuration text from parsed settings, the
// address, the DNS text, the MTU and the two keys already in Base64. Every
// value from the user must stay on its own line: one that holds a CR, LF or
// NUL, or is longer than kMaxTunnelValueBytes, fails with a message naming
// its field, as does a missing or empty endpoint. On false `config` is
// untouched.
bool WriteTunnelConfigText(const TunnelSettings& settings,
                           const std::string& address, const std::string& dns,
                           int32_t mtu, const std::string& private_key,
                           const std::string& public_key, std::string* config,
                           std::string* message);

}  // namespace velk

#endif  // CLIENT_PROVISIONING_TUNNEL_CONFIG_TEXT_H_
