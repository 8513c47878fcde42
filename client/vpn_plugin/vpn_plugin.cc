#include "client/vpn_plugin/vpn_plugin.h"

namespace velk {

VpnPlugin::VpnPlugin(flutter::BinaryMessenger* messenger, HWND window)
    : window_(window) {
  (void)messenger;
}

VpnPlugin::~VpnPlugin() = default;

}  // namespace velk
