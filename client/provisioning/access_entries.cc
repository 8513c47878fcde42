#include "client/provisioning/access_entries.h"

#include "client/provisioning/tunnel_service.h"
#include "win/access_list.h"

namespace velk {

std::array<EXPLICIT_ACCESS_W, 2> DataFolderAccessEntries(PSID administrators,
                                                         PSID local_system) {
  return {SidAccessEntry(administrators, TRUSTEE_IS_GROUP, FILE_ALL_ACCESS,
                         SET_ACCESS, SUB_CONTAINERS_AND_OBJECTS_INHERIT),
          SidAccessEntry(local_system, TRUSTEE_IS_USER, FILE_ALL_ACCESS,
                         SET_ACCESS, SUB_CONTAINERS_AND_OBJECTS_INHERIT)};
}

EXPLICIT_ACCESS_W ConfigFileUserEntry(PSID user) {
  return SidAccessEntry(user, TRUSTEE_IS_USER, kConfigFileUserRights,
                        GRANT_ACCESS, NO_INHERITANCE);
}

EXPLICIT_ACCESS_W ServiceUserEntry(PSID user) {
  return SidAccessEntry(user, TRUSTEE_IS_USER, kServiceUserRights, GRANT_ACCESS,
                        NO_INHERITANCE);
}

}  // namespace velk
