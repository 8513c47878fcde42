// A "tunnel.dll" for tests that run the host in their own process: its entry
// calls back into the test, so the test can look at the network at the
// moment the tunnel starts.
#define VELK_TUNNEL_LIBRARY_IMPLEMENTATION
#include "interfaces/tunnel_library.h"

namespace {

using TunnelProbe = BOOL (*)(const wchar_t* config_text,
                             const wchar_t* tunnel_name);

TunnelProbe g_probe = nullptr;

}  // namespace

extern "C" __declspec(dllexport) void SetTunnelProbe(TunnelProbe probe) {
  g_probe = probe;
}

BOOL WINAPI WireGuardTunnelService(const wchar_t* config_text,
                                   const wchar_t* tunnel_name) {
  return g_probe != nullptr ? g_probe(config_text, tunnel_name) : FALSE;
}
