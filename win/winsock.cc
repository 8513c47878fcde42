#include "win/winsock.h"

#include <winsock2.h>

namespace velk {

ScopedWinsock::ScopedWinsock() {
  WSADATA data = {};
  started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

ScopedWinsock::~ScopedWinsock() {
  if (started_) WSACleanup();
}

}  // namespace velk
