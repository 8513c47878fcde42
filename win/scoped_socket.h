// An owned Windows Sockets socket.

#ifndef WIN_SCOPED_SOCKET_H_
#define WIN_SCOPED_SOCKET_H_

// winsock2.h before anything that pulls in windows.h's older socket header.
#include <winsock2.h>

#include "win/scoped_handle.h"

namespace velk {

struct SocketTraits {
  using Type = SOCKET;
  static Type Invalid() { return INVALID_SOCKET; }
  static bool IsValid(Type value) { return value != INVALID_SOCKET; }
  static void Close(Type value) { closesocket(value); }
};

using ScopedSocket = ScopedResource<SocketTraits>;

}  // namespace velk

#endif  // WIN_SCOPED_SOCKET_H_
