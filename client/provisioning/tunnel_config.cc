#include "client/provisioning/tunnel_config.h"

#include <windows.h>

#include <wincrypt.h>

#include <string_view>

namespace velk {
namespace {

constexpr size_t kTunnelKeySize = 32;

constexpr char kPrivateKeyMessage[] = "Некорректный PrivateKey в конфигурации";
constexpr char kPublicKeyMessage[] = "Некорректный PublicKey в конфигурации";
constexpr char kEndpointMessage[] = "В конфигурации не указан Endpoint";

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool DecodeHexKey(const std::string& digits, std::vector<uint8_t>* bytes) {
  if (digits.size() != 2 * kTunnelKeySize) return false;
  std::vector<uint8_t> decoded(kTunnelKeySize);
  for (size_t i = 0; i < kTunnelKeySize; ++i) {
    const int high = HexDigitValue(digits[2 * i]);
    const int low = HexDigitValue(digits[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    decoded[i] = static_cast<uint8_t>(high << 4 | low);
  }
  *bytes = std::move(decoded);
  return true;
}

bool DecodeBase64Key(const std::string& text, std::vector<uint8_t>* bytes) {
  if (text.empty()) return false;
  const DWORD length = static_cast<DWORD>(text.size());
  DWORD size = 0;
  if (!CryptStringToBinaryA(text.data(), length, CRYPT_STRING_BASE64, nullptr,
                            &size, nullptr, nullptr) ||
      size != kTunnelKeySize) {
    return false;
  }
  std::vector<uint8_t> decoded(kTunnelKeySize);
  size = static_cast<DWORD>(decoded.size());
  if (!CryptStringToBinaryA(text.data(), length, CRYPT_STRING_BASE64,
                            decoded.data(), &size, nullptr, nullptr) ||
      size != kTunnelKeySize) {
    return false;
  }
  *bytes = std::move(decoded);
  return true;
}

// The value of `key`, or `fallback` when the key is absent; a key that is
// present with an empty value stays empty.
std::string ValueOr(const TunnelSettings& settings, const std::string& key,
                    const std::string& fallback) {
  const auto found = settings.values.find(key);
  return found == settings.values.end() ? fallback : found->second;
}

void AppendLine(std::string* text, std::string_view name,
                std::string_view value) {
  text->append(name);
  text->append(" = ");
  text->append(value);
  text->push_back('\n');
}

}  // namespace

TunnelSettings ParseTunnelSettings(const std::string& settings_text) {
  TunnelSettings settings;
  size_t start = 0;
  while (start < settings_text.size()) {
    size_t end = settings_text.find('\n', start);
    if (end == std::string::npos) end = settings_text.size();
    std::string_view line(settings_text.data() + start, end - start);
    start = end + 1;

    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t equals = line.find('=');
    if (line.empty() || equals == std::string_view::npos) continue;
    std::string key(line.substr(0, equals));
    std::string value(line.substr(equals + 1));
    if (key == "allowed_ip") {
      settings.allowed_ips.push_back(std::move(value));
    } else {
      settings.values[std::move(key)] = std::move(value);
    }
  }
  return settings;
}

bool DecodeTunnelKey(const std::string& text, std::vector<uint8_t>* bytes) {
  std::string compact;
  compact.reserve(text.size());
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') compact.push_back(c);
  }
  return DecodeHexKey(compact, bytes) || DecodeBase64Key(compact, bytes);
}

std::string EncodeTunnelKey(const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return std::string();
  constexpr DWORD kFlags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
  const DWORD length = static_cast<DWORD>(bytes.size());
  DWORD size = 0;
  if (!CryptBinaryToStringA(bytes.data(), length, kFlags, nullptr, &size) ||
      size == 0) {
    return std::string();
  }
  std::string text(size, '\0');
  if (!CryptBinaryToStringA(bytes.data(), length, kFlags, text.data(), &size)) {
    return std::string();
  }
  // The second call reports the length without the terminating NUL; cut at
  // the NUL in any case.
  text.resize(text.find('\0') == std::string::npos ? text.size()
                                                   : text.find('\0'));
  return text;
}

bool BuildTunnelConfig(const std::string& settings_text,
                       const std::string& address, const std::string& dns,
                       int32_t mtu, std::string* config, std::string* message) {
  const TunnelSettings settings = ParseTunnelSettings(settings_text);
  const std::string kAbsent;

  std::vector<uint8_t> private_key;
  if (!DecodeTunnelKey(ValueOr(settings, "private_key", kAbsent),
                       &private_key)) {
    *message = kPrivateKeyMessage;
    return false;
  }
  std::vector<uint8_t> public_key;
  if (!DecodeTunnelKey(ValueOr(settings, "public_key", kAbsent), &public_key)) {
    *message = kPublicKeyMessage;
    return false;
  }
  const std::string endpoint = ValueOr(settings, "endpoint", kAbsent);
  if (endpoint.empty()) {
    *message = kEndpointMessage;
    return false;
  }

  std::string allowed_ips;
  for (size_t i = 0; i < settings.allowed_ips.size(); ++i) {
    if (i > 0) allowed_ips.push_back(',');
    allowed_ips += settings.allowed_ips[i];
  }
  if (allowed_ips.empty()) allowed_ips = "0.0.0.0/0";

  std::string text = "[Interface]\n";
  AppendLine(&text, "PrivateKey", EncodeTunnelKey(private_key));
  AppendLine(&text, "Address", address);
  AppendLine(&text, "DNS", dns);
  AppendLine(&text, "MTU", std::to_string(mtu));
  AppendLine(&text, "Jc", ValueOr(settings, "jc", "4"));
  AppendLine(&text, "Jmin", ValueOr(settings, "jmin", "10"));
  AppendLine(&text, "Jmax", ValueOr(settings, "jmax", "50"));
  AppendLine(&text, "S1", ValueOr(settings, "s1", "40"));
  AppendLine(&text, "S2", ValueOr(settings, "s2", "146"));
  AppendLine(&text, "H1", ValueOr(settings, "h1", "1"));
  AppendLine(&text, "H2", ValueOr(settings, "h2", "2"));
  AppendLine(&text, "H3", ValueOr(settings, "h3", "3"));
  AppendLine(&text, "H4", ValueOr(settings, "h4", "4"));
  text += "\n[Peer]\n";
  AppendLine(&text, "PublicKey", EncodeTunnelKey(public_key));
  AppendLine(&text, "AllowedIPs", allowed_ips);
  AppendLine(&text, "Endpoint", endpoint);
  AppendLine(&text, "PersistentKeepalive",
             ValueOr(settings, "persistent_keepalive_interval", "25"));
  *config = std::move(text);
  return true;
}

}  // namespace velk
