#include "client/provisioning/current_user.h"

#include <windows.h>

#include "win/scoped_handle.h"

namespace velk {

std::vector<unsigned char> QueryCurrentUser() {
  ScopedKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.receive())) {
    return {};
  }
  DWORD size = 0;
  // Fails by design: it only asks for the size.
  (void)GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return {};
  std::vector<unsigned char> user(size, 0);
  if (!GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) {
    return {};
  }
  return user;
}

}  // namespace velk
