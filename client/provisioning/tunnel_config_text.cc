#include "client/provisioning/tunnel_config_text.h"

#include <string_view>

namespace velk {
namespace {

constexpr char kEndpointMessage[] = "В конфигурации не указан Endpoint";

// The value of `key`, or `fallback` when the key is absent; a key that is
// present with an empty value stays empty.
std::string ValueOr(const TunnelSettings& settings, const std::string& key,
                    const std::string& fallback) {
  const auto found = settings.values.find(key);
  return found == settings.values.end() ? fallback : found->second;
}

// False, with the message naming `field`, for a value that could end its
// line early for some reader of the text: a line break splits it, and a NUL
// ends the whole text where the host converts it.
bool ValueFits(std::string_view field, const std::string& value,
               std::string* message) {
  if (value.size() > kMaxTunnelValueBytes) {
    *message =
        "Слишком длинное значение поля " + std::string(field) + " конфигурации";
    return false;
  }
  if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
    *message =
        "Недопустимый символ в поле " + std::string(field) + " конфигурации";
    return false;
  }
  return true;
}

struct ConfigLine {
  std::string_view name;
  std::string value;
  // The values that came from the user and must fit on the line: the
  // value itself, or for AllowedIPs each of the entries it joins.
  std::vector<std::string> user_values;
};

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

bool WriteTunnelConfigText(const TunnelSettings& settings,
                           const std::string& address, const std::string& dns,
                           int32_t mtu, const std::string& private_key,
                           const std::string& public_key, std::string* config,
                           std::string* message) {
  const std::string endpoint = ValueOr(settings, "endpoint", std::string());
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

  auto from_user = [](std::string_view name, const std::string& value) {
    return ConfigLine{name, value, {value}};
  };
  auto setting = [&](std::string_view name, const char* key,
                     const char* fallback) {
    return from_user(name, ValueOr(settings, key, fallback));
  };
  const ConfigLine interface_lines[] = {
      {"PrivateKey", private_key, {}}, from_user("Address", address),
      from_user("DNS", dns),           {"MTU", std::to_string(mtu), {}},
      setting("Jc", "jc", "4"),        setting("Jmin", "jmin", "10"),
      setting("Jmax", "jmax", "50"),   setting("S1", "s1", "40"),
      setting("S2", "s2", "146"),      setting("H1", "h1", "1"),
      setting("H2", "h2", "2"),        setting("H3", "h3", "3"),
      setting("H4", "h4", "4"),
  };
  const ConfigLine peer_lines[] = {
      {"PublicKey", public_key, {}},
      {"AllowedIPs", allowed_ips, settings.allowed_ips},
      from_user("Endpoint", endpoint),
      setting("PersistentKeepalive", "persistent_keepalive_interval", "25"),
  };

  std::string text = "[Interface]\n";
  auto append = [&text, message](const ConfigLine& line) {
    for (const std::string& value : line.user_values) {
      if (!ValueFits(line.name, value, message)) return false;
    }
    text.append(line.name);
    text.append(" = ");
    text.append(line.value);
    text.push_back('\n');
    return true;
  };
  for (const ConfigLine& line : interface_lines) {
    if (!append(line)) return false;
  }
  text += "\n[Peer]\n";
  for (const ConfigLine& line : peer_lines) {
    if (!append(line)) return false;
  }
  *config = std::move(text);
  return true;
}

}  // namespace velk
