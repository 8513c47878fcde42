#include "client/vpn_plugin/status_strings.h"

namespace velk {

std::string ServiceStoppedStatus(uint32_t exit_code) {
  return "error:Служба VPN остановлена (код " + std::to_string(exit_code) + ")";
}

}  // namespace velk
