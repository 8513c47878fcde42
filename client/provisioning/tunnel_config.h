#ifndef CLIENT_PROVISIONING_TUNNEL_CONFIG_H_
#define CLIENT_PROVISIONING_TUNNEL_CONFIG_H_

#include <cstdint>
#include <string>
#include <vector>

#include "client/provisioning/tunnel_config_text.h"

// The tunnel configuration text: the WireGuard format with the extra interface
// keys Jc, Jmin, Jmax, S1, S2 and H1-H4, made from the settings text of a
// connection. All texts are UTF-8 byte strings.
namespace velk {

// Reads a 32-byte key written as 64 hexadecimal digits or as Base64, blanks
// and line breaks anywhere ignored. On false `bytes` is untouched.
bool DecodeTunnelKey(const std::string& text, std::vector<uint8_t>* bytes);

// Standard Base64 on one line; empty for no bytes.
std::string EncodeTunnelKey(const std::vector<uint8_t>& bytes);

// On true `config` holds the twenty-line configuration text; on false
// `message` holds the user-facing reason, and `config` is untouched. A
// settings text longer than kMaxTunnelSettingsTextBytes is refused before it
// is read.
bool BuildTunnelConfig(const std::string& settings_text,
                       const std::string& address, const std::string& dns,
                       int32_t mtu, std::string* config, std::string* message);

}  // namespace velk

#endif  // CLIENT_PROVISIONING_TUNNEL_CONFIG_H_
