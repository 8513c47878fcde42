#include "win/access_list.h"

#include "win/scoped_handle.h"

namespace velk {

EXPLICIT_ACCESS_W SidAccessEntry(PSID trustee, TRUSTEE_TYPE trustee_type,
                                 DWORD rights, ACCESS_MODE mode,
                                 DWORD inheritance) {
  EXPLICIT_ACCESS_W entry = {};
  entry.grfAccessPermissions = rights;
  entry.grfAccessMode = mode;
  entry.grfInheritance = inheritance;
  entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  entry.Trustee.TrusteeType = trustee_type;
  entry.Trustee.ptstrName = static_cast<LPWSTR>(trustee);
  return entry;
}

bool AddAccessEntry(HANDLE object, SE_OBJECT_TYPE object_type,
                    EXPLICIT_ACCESS_W entry) {
  PACL old_acl = nullptr;
  ScopedLocalPointer<PSECURITY_DESCRIPTOR> descriptor;
  if (GetSecurityInfo(object, object_type, DACL_SECURITY_INFORMATION, nullptr,
                      nullptr, &old_acl, nullptr,
                      descriptor.receive()) != ERROR_SUCCESS) {
    return false;
  }
  // The old list lives inside the descriptor: merge before freeing it.
  ScopedLocalPointer<PACL> merged;
  const DWORD merge_result =
      SetEntriesInAclW(1, &entry, old_acl, merged.receive());
  descriptor.reset();
  return merge_result == ERROR_SUCCESS &&
         SetSecurityInfo(object, object_type, DACL_SECURITY_INFORMATION,
                         nullptr, nullptr, merged.get(),
                         nullptr) == ERROR_SUCCESS;
}

}  // namespace velk
