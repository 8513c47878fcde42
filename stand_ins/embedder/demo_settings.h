// The connection settings that the demonstration interface connects with,
// read from the file named by its "--demo-settings=" argument (the format is
// described in docs/demo-script.md).

#ifndef STAND_INS_EMBEDDER_DEMO_SETTINGS_H_
#define STAND_INS_EMBEDDER_DEMO_SETTINGS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "interfaces/vpn_channels.h"
#include "stand_ins/embedder/ui_codec.h"

namespace velk::embedder {

struct DemoSettings {
  std::string settings;  // the lines that are not address, dns or mtu
  std::string address;
  std::string dns;
  int32_t mtu = vpn_channels::kDefaultMtu;
};

// Reads the file's text; false with `error` when the mtu is not a 32-bit
// decimal integer.
bool ParseDemoSettings(std::string_view text, DemoSettings* settings,
                       std::string* error);

// The argument of "connect": "settings", "address", "dns", "mtu" in order.
UiValue DemoArgument(const DemoSettings& settings);

}  // namespace velk::embedder

#endif  // STAND_INS_EMBEDDER_DEMO_SETTINGS_H_
