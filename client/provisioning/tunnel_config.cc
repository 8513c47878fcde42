#include "client/provisioning/tunnel_config.h"

#include <windows.h>

#include <wincrypt.h>

namespace velk {
namespace {

constexpr size_t kTunnelKeySize = 32;

constexpr char kPrivateKeyMessage[] = "Некорректный PrivateKey в конфигурации";
constexpr char kPublicKeyMessage[] = "Некорректный PublicKey в конфигурации";
constexpr char kSettingsTooLongMessage[] = "Слишком длинный текст конфигурации";

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

}  // namespace

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
  if (settings_text.size() > kMaxTunnelSettingsTextBytes) {
    *message = kSettingsTooLongMessage;
    return false;
  }
  const TunnelSettings settings = ParseTunnelSettings(settings_text);
  auto value_of = [&settings](const char* key) {
    const auto found = settings.values.find(key);
    return found == settings.values.end() ? std::string() : found->second;
  };

  std::vector<uint8_t> private_key;
  if (!DecodeTunnelKey(value_of("private_key"), &private_key)) {
    *message = kPrivateKeyMessage;
    return false;
  }
  std::vector<uint8_t> public_key;
  if (!DecodeTunnelKey(value_of("public_key"), &public_key)) {
    *message = kPublicKeyMessage;
    return false;
  }
  return WriteTunnelConfigText(settings, address, dns, mtu,
                               EncodeTunnelKey(private_key),
                               EncodeTunnelKey(public_key), config, message);
}

}  // namespace velk
