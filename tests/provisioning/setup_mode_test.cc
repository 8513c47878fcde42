#include "client/provisioning/setup_mode.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "client/provisioning/scoped_handles.h"

namespace velk {
namespace {

namespace fs = std::filesystem;

TEST(SetupCommandLine, IsNotClaimedWithoutTheExactArgument) {
  int exit_code = 77;
  EXPECT_FALSE(SetupMode(L"", &exit_code));
  EXPECT_FALSE(SetupMode(L"--tovrane-vpn-setup \"x\"", &exit_code));
  EXPECT_FALSE(SetupMode(L"--TOVRANE-VPN-SETUP=\"x\"", &exit_code));
  EXPECT_EQ(exit_code, 77);
  // Claimed whatever follows: an empty path cannot be read.
  EXPECT_TRUE(SetupMode(L"--tovrane-vpn-setup=", &exit_code));
  EXPECT_EQ(exit_code, kSetupInputUnreadable);
}

TEST(SetupCommandLine, TakesThePathAfterTheFirstOccurrence) {
  struct Case {
    const wchar_t* command_line;
    const wchar_t* path;
  } const cases[] = {
      {L"--tovrane-vpn-setup=\"C:\\a b\\tvc1.tmp\"", L"C:\\a b\\tvc1.tmp"},
      {L"--tovrane-vpn-setup=\"C:\\a b\\f.tmp\"tail more", L"C:\\a b\\f.tmp"},
      {L"x y--tovrane-vpn-setup=\"p\" --tovrane-vpn-setup=\"q\"", L"p"},
      {L"--tovrane-vpn-setup=C:\\a b\\f.tmp --flag", L"C:\\a b\\f.tmp --flag"},
      {L"--tovrane-vpn-setup=\"C:\\no closing quote", L"C:\\no closing quote"},
      {L"--tovrane-vpn-setup=\"\"", L""},
  };
  for (const Case& c : cases) {
    std::wstring path = L"untouched";
    ASSERT_TRUE(FindSetupFilePath(c.command_line, &path));
    EXPECT_EQ(path, c.path);
  }
}

class DataFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t value[MAX_PATH] = {};
    had_value_ = GetEnvironmentVariableW(L"ProgramData", value, MAX_PATH) > 0;
    saved_ = value;
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"ProgramData",
                            had_value_ ? saved_.c_str() : nullptr);
  }
  bool had_value_ = false;
  std::wstring saved_;
};

TEST_F(DataFolderTest, FollowsProgramDataOrItsUsualPlace) {
  SetEnvironmentVariableW(L"ProgramData", L"D:\\Shared Data");
  EXPECT_EQ(GetTunnelDataFolder(), L"D:\\Shared Data\\TovraneVPN");
  EXPECT_EQ(GetTunnelConfigPath(),
            L"D:\\Shared Data\\TovraneVPN\\tovranevpn.conf");

  SetEnvironmentVariableW(L"ProgramData", nullptr);
  EXPECT_EQ(GetTunnelDataFolder(), L"C:\\ProgramData\\TovraneVPN");
}

TEST_F(DataFolderTest, LongProgramDataIsTakenWhole) {
  // Longer than the first buffer: read again, never cut or overrun.
  const std::wstring long_value = L"D:\\" + std::wstring(400, L'd');
  SetEnvironmentVariableW(L"ProgramData", long_value.c_str());
  EXPECT_EQ(GetTunnelDataFolder(), long_value + L"\\TovraneVPN");
  const std::wstring exactly_full = L"D:\\" + std::wstring(257, L'e');
  ASSERT_EQ(exactly_full.size(), 260u);
  SetEnvironmentVariableW(L"ProgramData", exactly_full.c_str());
  EXPECT_EQ(GetTunnelDataFolder(), exactly_full + L"\\TovraneVPN");
}

class ReadWholeFileTest : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    path_ = fs::path(temp) /
            (L"velk read " + std::to_wstring(GetCurrentProcessId()) + L".bin");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove(path_, ignored);
  }
  fs::path path_;
};

TEST_F(ReadWholeFileTest, ReadsEveryByteOfAFileOthersHaveOpen) {
  const std::string bytes("a\0b\r\n\xff\x1a z", 9);
  std::ofstream(path_, std::ios::binary) << bytes;
  // The writer still holds the file open for reading and writing.
  ScopedKernelHandle writer(CreateFileW(
      path_.c_str(), GENERIC_READ | GENERIC_WRITE,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(writer);
  std::string read;
  ASSERT_TRUE(ReadWholeFile(path_.wstring(), &read));
  EXPECT_EQ(read, bytes);
}

TEST_F(ReadWholeFileTest, MissingOrEmptyFileIsAFailure) {
  std::string read = "untouched";
  EXPECT_FALSE(ReadWholeFile(path_.wstring(), &read));
  std::ofstream(path_, std::ios::binary).flush();
  EXPECT_FALSE(ReadWholeFile(path_.wstring(), &read));
  EXPECT_EQ(read, "untouched");
}

TEST(CurrentUser, IsTheTokensUserSid) {
  const std::vector<BYTE> user = QueryCurrentUser();
  ASSERT_GE(user.size(), sizeof(TOKEN_USER));
  PSID sid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
  ASSERT_TRUE(IsValidSid(sid));
  // The SID lies inside the returned buffer, which owns it.
  const BYTE* sid_bytes = static_cast<const BYTE*>(sid);
  EXPECT_GE(sid_bytes, user.data());
  EXPECT_LE(sid_bytes + GetLengthSid(sid), user.data() + user.size());
}

}  // namespace
}  // namespace velk
