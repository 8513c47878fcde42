#include "stand_ins/embedder/demo_settings.h"

#include <limits>

#include "interfaces/vpn_channels.h"

namespace velk::embedder {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool ParseInt32(std::string_view text, int32_t* value) {
  bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty() || text.size() > 10) return false;
  int64_t magnitude = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    magnitude = magnitude * 10 + (c - '0');
  }
  int64_t signed_value = negative ? -magnitude : magnitude;
  if (signed_value < std::numeric_limits<int32_t>::min() ||
      signed_value > std::numeric_limits<int32_t>::max()) {
    return false;
  }
  *value = static_cast<int32_t>(signed_value);
  return true;
}

}  // namespace

bool ParseDemoSettings(std::string_view text, DemoSettings* settings,
                       std::string* error) {
  if (StartsWith(text, "\xEF\xBB\xBF")) text.remove_prefix(3);
  DemoSettings parsed;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view()
                                         : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    if (StartsWith(line, "address=")) {
      parsed.address = std::string(line.substr(8));
    } else if (StartsWith(line, "dns=")) {
      parsed.dns = std::string(line.substr(4));
    } else if (StartsWith(line, "mtu=")) {
      if (!ParseInt32(line.substr(4), &parsed.mtu)) {
        *error = "mtu is not a 32-bit decimal integer: " +
                 QuoteString(std::string(line.substr(4)));
        return false;
      }
    } else {
      if (!parsed.settings.empty()) parsed.settings += '\n';
      parsed.settings += line;
    }
  }
  *settings = std::move(parsed);
  return true;
}

UiValue DemoArgument(const DemoSettings& settings) {
  UiMap map;
  const auto key = [](const char* name) { return UiValue{std::string(name)}; };
  map.push_back({key(vpn_channels::kSettingsKey), UiValue{settings.settings}});
  map.push_back({key(vpn_channels::kAddressKey), UiValue{settings.address}});
  map.push_back({key(vpn_channels::kDnsKey), UiValue{settings.dns}});
  map.push_back({key(vpn_channels::kMtuKey), UiValue{settings.mtu}});
  return UiValue{std::move(map)};
}

}  // namespace velk::embedder
