// The user that this process runs as, as the security functions want it.

#ifndef CLIENT_PROVISIONING_CURRENT_USER_H_
#define CLIENT_PROVISIONING_CURRENT_USER_H_

#include <windows.h>

#include <vector>

namespace velk {

// The TOKEN_USER information of a token: the record comes first in the
// buffer, the SID it points to after it, so the two live and move together.
class CurrentUser {
 public:
  CurrentUser() = default;
  explicit CurrentUser(std::vector<unsigned char> token_user)
      : buffer_(std::move(token_user)) {}

  bool empty() const { return buffer_.size() < sizeof(TOKEN_USER); }
  // Null when empty.
  const TOKEN_USER* get() const;
  PSID sid() const { return empty() ? nullptr : get()->User.Sid; }

 private:
  // Heap memory from the standard allocator is aligned for any record.
  std::vector<unsigned char> buffer_;
};

// This process's user, empty on any failure.
CurrentUser QueryCurrentUser();

}  // namespace velk

#endif  // CLIENT_PROVISIONING_CURRENT_USER_H_
