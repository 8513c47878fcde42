// The native side of the interface's VPN controls. This first form only
// exists so that the main window can own it; the channels, the connect work
// and the status monitor come with the plug-in itself.

#ifndef CLIENT_VPN_PLUGIN_VPN_PLUGIN_H_
#define CLIENT_VPN_PLUGIN_VPN_PLUGIN_H_

#include <windows.h>

#include "channels/binary_messenger.h"

namespace velk {

class VpnPlugin {
 public:
  // Must run on the platform thread. `window` is the main window, to which
  // worker threads post their tasks.
  VpnPlugin(flutter::BinaryMessenger* messenger, HWND window);
  ~VpnPlugin();

  VpnPlugin(const VpnPlugin&) = delete;
  VpnPlugin& operator=(const VpnPlugin&) = delete;

 private:
  HWND window_;
};

}  // namespace velk

#endif  // CLIENT_VPN_PLUGIN_VPN_PLUGIN_H_
