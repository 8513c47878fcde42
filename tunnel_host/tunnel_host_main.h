#ifndef TUNNEL_HOST_TUNNEL_HOST_MAIN_H_
#define TUNNEL_HOST_TUNNEL_HOST_MAIN_H_

namespace velk {

struct IpHelperFunctions;

// Exit codes of tovrane_tunnel, its only report.
enum TunnelHostExitCode : int {
  kTunnelEnded = 0,           // the tunnel library's entry returned nonzero
  kBadCommandLine = 1,        // fewer than two arguments after the program
  kConfigUnreadable = 2,      // missing, empty or unconvertible file, or
                              // more than one Endpoint or DNS line
  kTunnelLibraryMissing = 3,  // "tunnel.dll" could not be loaded
  kTunnelEntryMissing = 4,    // no "WireGuardTunnelService" export
  kTunnelFailed = 5,          // the tunnel library's entry returned zero
};

// The whole run of the service program: reads the command line of the
// process (program, configuration path, tunnel name), loads the
// configuration, starts the route and DNS keepers, runs the tunnel library
// until the service stops, stops the keepers and returns the exit code.
int TunnelHostMain();

// The same run with its surroundings given: the command line to split, the
// full path of the tunnel library to load ("tunnel.dll" in the host's own
// folder in the real program) and the network functions of the keepers.
int RunTunnelHost(const wchar_t* command_line, const wchar_t* tunnel_library,
                  const IpHelperFunctions& network_functions);

}  // namespace velk

#endif  // TUNNEL_HOST_TUNNEL_HOST_MAIN_H_
