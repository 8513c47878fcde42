#include "client/provisioning/current_user.h"

#include "win/scoped_handle.h"

namespace velk {

const TOKEN_USER* CurrentUser::get() const {
  return empty() ? nullptr
                 : reinterpret_cast<const TOKEN_USER*>(buffer_.data());
}

CurrentUser QueryCurrentUser() {
  ScopedKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.receive())) {
    return CurrentUser();
  }
  DWORD size = 0;
  // Fails by design: it only asks for the size.
  (void)GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return CurrentUser();
  std::vector<unsigned char> user(size, 0);
  if (!GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) {
    return CurrentUser();
  }
  return CurrentUser(std::move(user));
}

}  // namespace velk
