#include "client/provisioning/access_entries.h"

#include "client/provisioning/tunnel_service.h"

namespace velk {
namespace {

EXPLICIT_ACCESS_W MakeEntry(PSID trustee, TRUSTEE_TYPE trustee_type,
                            DWORD rights, ACCESS_MODE mode, DWORD inheritance) {
  EXPLICIT_ACCESS_W entry = {};
  entry.grfAccessPermissions = rights;
  entry.grfAccessMode = mode;
  entry.grfInheritance = inheritance;
  entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  entry.Trustee.TrusteeType = trustee_type;
  entry.Trustee.ptstrName = static_cast<LPWSTR>(trustee);
  return entry;
}

}  // namespace

std::array<EXPLICIT_ACCESS_W, 2> DataFolderAccessEntries(PSID administrators,
                                                         PSID local_system) {
  return {MakeEntry(administrators, TRUSTEE_IS_GROUP, FILE_ALL_ACCESS,
                    SET_ACCESS, SUB_CONTAINERS_AND_OBJECTS_INHERIT),
          MakeEntry(local_system, TRUSTEE_IS_USER, FILE_ALL_ACCESS, SET_ACCESS,
                    SUB_CONTAINERS_AND_OBJECTS_INHERIT)};
}

EXPLICIT_ACCESS_W ConfigFileUserEntry(PSID user) {
  return MakeEntry(user, TRUSTEE_IS_USER, kConfigFileUserRights, GRANT_ACCESS,
                   NO_INHERITANCE);
}

EXPLICIT_ACCESS_W ServiceUserEntry(PSID user) {
  return MakeEntry(user, TRUSTEE_IS_USER, kServiceUserRights, GRANT_ACCESS,
                   NO_INHERITANCE);
}

}  // namespace velk
