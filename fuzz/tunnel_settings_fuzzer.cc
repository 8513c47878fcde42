// The builder's reading of the settings text that the interface sends, and
// its writing of the configuration text: whatever the settings, address and
// DNS text hold, a text that is written has its twenty lines, and the host
// finds in it exactly one Endpoint line and one DNS line, the endpoint being
// the one the settings gave.
//
// Input: one byte with the address's length, one with the DNS text's, the
// address, the DNS text, and the rest as the settings text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "client/provisioning/tunnel_config_text.h"
#include "tunnel_host/config_scan.h"

namespace {

constexpr char kKeyBase64[] = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=";

void Fail(const char* what) {
  std::fprintf(stderr, "tunnel settings: %s\n", what);
  std::abort();
}

// Byte for byte: the host's UTF-8 conversion keeps every ASCII byte as it
// is and never turns other bytes into ASCII, so lines, keys and separators
// come out where they stand here.
std::wstring Widened(const std::string& text) {
  std::wstring wide;
  for (unsigned char byte : text) wide.push_back(static_cast<wchar_t>(byte));
  return wide;
}

std::string Take(const uint8_t*& data, size_t& size, size_t wanted) {
  const size_t taken = wanted < size ? wanted : size;
  std::string bytes(reinterpret_cast<const char*>(data), taken);
  data += taken;
  size -= taken;
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t address_size = data[0];
  const size_t dns_size = data[1];
  data += 2;
  size -= 2;
  const std::string address = Take(data, size, address_size);
  const std::string dns = Take(data, size, dns_size);
  const std::string settings_text = Take(data, size, size);

  const velk::TunnelSettings settings =
      velk::ParseTunnelSettings(settings_text);
  if (settings.values.count("allowed_ip") != 0) Fail("allowed_ip in the map");
  for (const auto& [key, value] : settings.values) {
    if (key.find('\n') != std::string::npos ||
        value.find('\n') != std::string::npos) {
      Fail("a line feed in a key or value");
    }
  }

  std::string config = "untouched";
  std::string message;
  if (!velk::WriteTunnelConfigText(settings, address, dns, 1420, kKeyBase64,
                                   kKeyBase64, &config, &message)) {
    if (message.empty()) Fail("refused without a message");
    if (config != "untouched") Fail("refused but written");
    return 0;
  }
  size_t lines = 0;
  for (char c : config) {
    if (c == '\n') ++lines;
    if (c == '\r' || c == '\0') Fail("a CR or NUL in the written text");
  }
  if (lines != 20 || config.back() != '\n') Fail("not twenty lines");

  const std::wstring text = Widened(config);
  const velk::HostKeyCounts counts = velk::CountHostKeys(text);
  if (counts.endpoint_lines != 1 || counts.dns_lines != 1) {
    Fail("not one Endpoint line and one DNS line for the host");
  }
  const std::string endpoint = settings.values.at("endpoint");
  if (velk::ReadEndpointHost(text) !=
      velk::ReadEndpointHost(Widened("Endpoint = " + endpoint))) {
    Fail("the host reads another endpoint than the settings gave");
  }
  return 0;
}
