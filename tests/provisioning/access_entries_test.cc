// The access entries as data: Wine stores and enforces no access lists, so
// each entry's rights, mode, inheritance and trustee are checked here, and
// the calls that apply them run in the setup tests.
#include "client/provisioning/access_entries.h"

#include <gtest/gtest.h>

namespace velk {
namespace {

BYTE administrators[SECURITY_MAX_SID_SIZE];
BYTE local_system[SECURITY_MAX_SID_SIZE];
BYTE user[SECURITY_MAX_SID_SIZE];

void ExpectEntry(const EXPLICIT_ACCESS_W& entry, PSID sid, TRUSTEE_TYPE type,
                 DWORD rights, ACCESS_MODE mode, DWORD inheritance) {
  EXPECT_EQ(entry.Trustee.TrusteeForm, TRUSTEE_IS_SID);
  EXPECT_EQ(entry.Trustee.TrusteeType, type);
  EXPECT_EQ(entry.Trustee.MultipleTrusteeOperation, NO_MULTIPLE_TRUSTEE);
  EXPECT_EQ(static_cast<PSID>(entry.Trustee.ptstrName), sid);
  EXPECT_EQ(entry.grfAccessPermissions, rights);
  EXPECT_EQ(entry.grfAccessMode, mode);
  EXPECT_EQ(entry.grfInheritance, inheritance);
}

TEST(AccessEntries, HoldTheirTrusteesRightsAndInheritance) {
  auto entries = DataFolderAccessEntries(administrators, local_system);
  // FILE_ALL_ACCESS, inherited by subfolders and files (3).
  ExpectEntry(entries[0], administrators, TRUSTEE_IS_GROUP, 0x1F01FF,
              SET_ACCESS, 3);
  ExpectEntry(entries[1], local_system, TRUSTEE_IS_USER, 0x1F01FF, SET_ACCESS,
              3);
  // FILE_GENERIC_READ | FILE_GENERIC_WRITE on the file.
  ExpectEntry(ConfigFileUserEntry(user), user, TRUSTEE_IS_USER, 0x12019F,
              GRANT_ACCESS, NO_INHERITANCE);
  // GENERIC_READ | SERVICE_STOP | SERVICE_START | SERVICE_QUERY_STATUS |
  // SERVICE_QUERY_CONFIG: nothing that would let the user reconfigure it.
  ExpectEntry(ServiceUserEntry(user), user, TRUSTEE_IS_USER, 0x80000035,
              GRANT_ACCESS, NO_INHERITANCE);
}

TEST(AccessEntries, FolderEntriesMakeAnInheritableList) {
  DWORD size = SECURITY_MAX_SID_SIZE;
  ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr,
                                 administrators, &size));
  size = SECURITY_MAX_SID_SIZE;
  ASSERT_TRUE(
      CreateWellKnownSid(WinLocalSystemSid, nullptr, local_system, &size));
  auto entries = DataFolderAccessEntries(administrators, local_system);
  PACL acl = nullptr;
  ASSERT_EQ(SetEntriesInAclW(2, entries.data(), nullptr, &acl), 0u);
  ASSERT_TRUE(IsValidAcl(acl));
  EXPECT_EQ(acl->AceCount, 2);
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* ace = nullptr;
    ASSERT_TRUE(GetAce(acl, i, &ace));
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(allowed->Header.AceFlags,
              OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_EQ(allowed->Mask, 0x1F01FFu);
    EXPECT_TRUE(
        EqualSid(&allowed->SidStart, i == 0 ? administrators : local_system));
  }
  LocalFree(acl);
}

}  // namespace
}  // namespace velk
