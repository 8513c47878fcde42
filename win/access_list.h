// Access entries by SID, and adding one to an object's own access list
// through a handle that the caller already holds (never by name, which a
// link could send elsewhere).

#ifndef WIN_ACCESS_LIST_H_
#define WIN_ACCESS_LIST_H_

#include <windows.h>

#include <aclapi.h>

namespace velk {

// An entry whose trustee is given by SID.
EXPLICIT_ACCESS_W SidAccessEntry(PSID trustee, TRUSTEE_TYPE trustee_type,
                                 DWORD rights, ACCESS_MODE mode,
                                 DWORD inheritance);

// Merges `entry` into the access list of `object` (opened with READ_CONTROL
// and WRITE_DAC), leaving the rest of the list and its protection as they
// are. False when the list could not be read, merged or written.
bool AddAccessEntry(HANDLE object, SE_OBJECT_TYPE object_type,
                    EXPLICIT_ACCESS_W entry);

}  // namespace velk

#endif  // WIN_ACCESS_LIST_H_
