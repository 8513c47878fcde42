// Entry of tovrane_tunnel, the program that the tunnel service runs. A GUI
// program that opens no window: it reports only through its exit code.
#include <windows.h>

#include "tunnel_host/tunnel_host_main.h"

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/,
                    PWSTR /*command_line*/, int /*show*/) {
  // The command line is read from the process, whole, by the host itself.
  return velk::TunnelHostMain();
}
