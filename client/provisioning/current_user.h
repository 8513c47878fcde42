// The user that this process runs as, as the security functions want it.

#ifndef CLIENT_PROVISIONING_CURRENT_USER_H_
#define CLIENT_PROVISIONING_CURRENT_USER_H_

#include <vector>

namespace velk {

// The TOKEN_USER information of this process's token (the record comes
// first, its SID after it in the same buffer), or an empty buffer on any
// failure.
std::vector<unsigned char> QueryCurrentUser();

}  // namespace velk

#endif  // CLIENT_PROVISIONING_CURRENT_USER_H_
