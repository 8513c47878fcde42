#include "client/vpn_plugin/status_strings.h"

namespace velk {

std::string ServiceStoppedStatus(uint32_t exit_code) {
  return vpn_channels::kStatusServiceStoppedStart + std::to_string(exit_code) +
         vpn_channels::kStatusServiceStoppedEnd;
}

}  // namespace velk
