// The entry of the outside tunnel library, "tunnel.dll". The tunnel host
// loads the library at run time and looks the entry up by name; the library
// runs the tunnel named `tunnel_name` with the configuration text until the
// service is stopped, and returns whether it ran.
//
// A library that implements the entry defines
// VELK_TUNNEL_LIBRARY_IMPLEMENTATION before including this header, so that the
// declaration exports it.

#ifndef INTERFACES_TUNNEL_LIBRARY_H_
#define INTERFACES_TUNNEL_LIBRARY_H_

#include <windows.h>

#if defined(VELK_TUNNEL_LIBRARY_IMPLEMENTATION)
#define TUNNEL_LIBRARY_EXPORT __declspec(dllexport)
#else
#define TUNNEL_LIBRARY_EXPORT
#endif

// The name under which the host looks the entry up.
inline constexpr char kTunnelEntryName[] = "WireGuardTunnelService";

using WireGuardTunnelServiceFunction =
    BOOL(WINAPI*)(const wchar_t* config_text, const wchar_t* tunnel_name);

extern "C" TUNNEL_LIBRARY_EXPORT BOOL WINAPI
WireGuardTunnelService(const wchar_t* config_text, const wchar_t* tunnel_name);

#endif  // INTERFACES_TUNNEL_LIBRARY_H_
