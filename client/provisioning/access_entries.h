#ifndef CLIENT_PROVISIONING_ACCESS_ENTRIES_H_
#define CLIENT_PROVISIONING_ACCESS_ENTRIES_H_

#include <windows.h>

#include <aclapi.h>

#include <array>

// The access entries that provisioning writes, kept as data so that each one
// can be checked on its own: the trustees are always given by SID.
namespace velk {

// FILE_GENERIC_READ | FILE_GENERIC_WRITE: the user may read and rewrite the
// stored configuration, so later connections need no elevation.
inline constexpr DWORD kConfigFileUserRights = 0x12019F;

// Administrators and LocalSystem with full control over the data folder and,
// by inheritance, over everything created in it.
std::array<EXPLICIT_ACCESS_W, 2> DataFolderAccessEntries(PSID administrators,
                                                         PSID local_system);

// The user's right to read and write the stored configuration file, merged
// into the entries the file inherits.
EXPLICIT_ACCESS_W ConfigFileUserEntry(PSID user);

// The user's right to start, stop and query the tunnel service.
EXPLICIT_ACCESS_W ServiceUserEntry(PSID user);

}  // namespace velk

#endif  // CLIENT_PROVISIONING_ACCESS_ENTRIES_H_
