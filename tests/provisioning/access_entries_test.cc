// The access entries as data: Wine applies none of them (it stores no access
// lists), so each entry's rights, mode, inheritance and trustee are checked
// here, and the calls that apply them run in the setup tests.
#include "client/provisioning/access_entries.h"

#include <gtest/gtest.h>

namespace velk {
namespace {

struct Sid {
  BYTE bytes[SECURITY_MAX_SID_SIZE] = {};
  explicit Sid(WELL_KNOWN_SID_TYPE type) {
    DWORD size = sizeof(bytes);
    EXPECT_TRUE(CreateWellKnownSid(type, nullptr, bytes, &size));
  }
  PSID get() { return bytes; }
};

void ExpectTrusteeBySid(const EXPLICIT_ACCESS_W& entry, PSID sid,
                        TRUSTEE_TYPE type) {
  EXPECT_EQ(entry.Trustee.TrusteeForm, TRUSTEE_IS_SID);
  EXPECT_EQ(entry.Trustee.TrusteeType, type);
  EXPECT_EQ(entry.Trustee.MultipleTrusteeOperation, NO_MULTIPLE_TRUSTEE);
  EXPECT_EQ(entry.Trustee.pMultipleTrustee, nullptr);
  EXPECT_EQ(static_cast<PSID>(entry.Trustee.ptstrName), sid);
}

TEST(AccessEntries, DataFolderGivesAdministratorsAndSystemFullControl) {
  Sid administrators(WinBuiltinAdministratorsSid);
  Sid system(WinLocalSystemSid);
  const auto entries =
      DataFolderAccessEntries(administrators.get(), system.get());
  ExpectTrusteeBySid(entries[0], administrators.get(), TRUSTEE_IS_GROUP);
  ExpectTrusteeBySid(entries[1], system.get(), TRUSTEE_IS_USER);
  for (const EXPLICIT_ACCESS_W& entry : entries) {
    EXPECT_EQ(entry.grfAccessPermissions, 0x1F01FFu);  // FILE_ALL_ACCESS
    EXPECT_EQ(entry.grfAccessMode, SET_ACCESS);
    EXPECT_EQ(entry.grfInheritance, 3u);  // containers and objects inherit
  }
}

TEST(AccessEntries, UserMayReadAndWriteTheFileAndControlTheService) {
  Sid user(WinBuiltinUsersSid);
  const EXPLICIT_ACCESS_W file = ConfigFileUserEntry(user.get());
  ExpectTrusteeBySid(file, user.get(), TRUSTEE_IS_USER);
  EXPECT_EQ(file.grfAccessPermissions, 0x12019Fu);  // generic read | write
  EXPECT_EQ(file.grfAccessMode, GRANT_ACCESS);
  EXPECT_EQ(file.grfInheritance, static_cast<DWORD>(NO_INHERITANCE));

  const EXPLICIT_ACCESS_W service = ServiceUserEntry(user.get());
  ExpectTrusteeBySid(service, user.get(), TRUSTEE_IS_USER);
  // GENERIC_READ | SERVICE_STOP | SERVICE_START | SERVICE_QUERY_STATUS |
  // SERVICE_QUERY_CONFIG, and nothing that would let the user reconfigure it.
  EXPECT_EQ(service.grfAccessPermissions, 0x80000035u);
  EXPECT_EQ(service.grfAccessPermissions & SERVICE_CHANGE_CONFIG, 0u);
  EXPECT_EQ(service.grfAccessMode, GRANT_ACCESS);
  EXPECT_EQ(service.grfInheritance, static_cast<DWORD>(NO_INHERITANCE));
}

TEST(AccessEntries, BuildAValidListWithTheirRights) {
  Sid administrators(WinBuiltinAdministratorsSid);
  Sid system(WinLocalSystemSid);
  auto entries = DataFolderAccessEntries(administrators.get(), system.get());
  PACL acl = nullptr;
  ASSERT_EQ(SetEntriesInAclW(2, entries.data(), nullptr, &acl),
            static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_NE(acl, nullptr);
  EXPECT_TRUE(IsValidAcl(acl));
  EXPECT_EQ(acl->AceCount, 2);
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* ace = nullptr;
    ASSERT_TRUE(GetAce(acl, i, &ace));
    const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(allowed->Header.AceFlags,
              OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_EQ(allowed->Mask, 0x1F01FFu);
  }
  LocalFree(acl);
}

}  // namespace
}  // namespace velk
