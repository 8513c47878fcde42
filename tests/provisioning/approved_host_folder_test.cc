// Which host folders the tunnel service may run from, posed as text: the
// tricks that make a folder the user can write look like an approved one.
#include "client/provisioning/approved_host_folder.h"

#include <gtest/gtest.h>

namespace velk {
namespace {

constexpr wchar_t kProgramFiles[] = L"C:\\Program Files";
constexpr wchar_t kRecorded[] = L"D:\\Apps\\Velk VPN";

TEST(ApprovedHostFolder, OnlyInsideProgramFilesOrTheRecordedFolder) {
  struct Case {
    const wchar_t* host;
    const wchar_t* resolved;  // nullptr: the same as the host
    bool approved;
  };
  const Case cases[] = {
      {L"C:\\Program Files\\Velk VPN", nullptr, true},
      {L"c:\\PROGRAM FILES\\velk vpn\\bin", nullptr, true},
      {L"D:\\Apps\\Velk VPN", nullptr, true},
      {L"d:\\apps\\VELK VPN", nullptr, true},
      // Program Files itself, a sibling that shares its name's start, and
      // folders beside or inside the recorded one.
      {L"C:\\Program Files", nullptr, false},
      {L"C:\\Program Files Evil\\Velk VPN", nullptr, false},
      {L"C:\\Program Files (x86)x\\Velk VPN", nullptr, false},
      {L"D:\\Apps\\Velk VPN2", nullptr, false},
      {L"D:\\Apps\\Velk VPN\\sub", nullptr, false},
      {L"C:\\Users\\me\\Downloads\\Velk VPN", nullptr, false},
      // Names that the system reads as another folder.
      {L"C:\\Program Files\\..\\Users\\me", nullptr, false},
      {L"C:\\Program Files\\.\\Velk VPN", nullptr, false},
      {L"C:\\Program Files.\\Velk VPN", nullptr, false},
      {L"C:\\Program Files \\Velk VPN", nullptr, false},
      {L"C:\\Program Files\\Velk VPN.", nullptr, false},
      {L"C:\\Program Files\\\\Velk VPN", nullptr, false},
      {L"C:/Program Files/Velk VPN", nullptr, false},
      {L"C:\\Program Files\\x::$INDEX_ALLOCATION", nullptr, false},
      {L"\\\\?\\C:\\Program Files\\Velk VPN", nullptr, false},
      {L"\\\\localhost\\C$\\Program Files\\Velk VPN", nullptr, false},
      {L"Program Files\\Velk VPN", nullptr, false},
      {L"", nullptr, false},
      // A link or short name that the file system resolves elsewhere, or a
      // folder that cannot be opened.
      {L"C:\\Program Files\\Velk VPN", L"C:\\Users\\me\\planted", false},
      {L"C:\\PROGRA~1\\Velk VPN", L"C:\\Program Files\\Velk VPN", false},
      {L"C:\\Program Files\\Velk VPN", L"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.host);
    HostFolderFacts facts;
    facts.host_folder = c.host;
    facts.resolved_host_folder = c.resolved != nullptr ? c.resolved : c.host;
    facts.program_files = kProgramFiles;
    facts.recorded_folder = kRecorded;
    EXPECT_EQ(IsApprovedHostFolder(facts), c.approved);
  }
}

TEST(ApprovedHostFolder, RootsThatAreMissingOrMalformedApproveNothing) {
  HostFolderFacts facts;
  facts.host_folder = facts.resolved_host_folder = L"C:\\Program Files\\V";
  EXPECT_FALSE(IsApprovedHostFolder(facts));  // neither root known
  facts.program_files = L"C:\\Program Files\\";
  EXPECT_TRUE(IsApprovedHostFolder(facts));  // a trailing separator is fine
  facts.program_files = L"";
  facts.recorded_folder = L"C:\\Program Files\\V\\..";
  EXPECT_FALSE(IsApprovedHostFolder(facts));
  facts.recorded_folder = L"C:\\Program Files\\V\\";
  EXPECT_TRUE(IsApprovedHostFolder(facts));
}

}  // namespace
}  // namespace velk
