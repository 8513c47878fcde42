#include "client/provisioning/setup_mode.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "client/provisioning/tunnel_data_folder.h"
#include "tests/support/scoped_variable.h"
#include "tests/support/temporary_folder.h"
#include "win/scoped_handle.h"
#include "win/whole_file.h"

namespace velk {
namespace {

namespace fs = std::filesystem;

TEST(SetupCommandLine, ClaimsOnlyTheExactArgument) {
  int exit_code = 77;
  EXPECT_FALSE(SetupMode(L"--tovrane-vpn-setup \"x\"", &exit_code));
  EXPECT_FALSE(SetupMode(L"--TOVRANE-VPN-SETUP=\"x\"", &exit_code));
  EXPECT_EQ(exit_code, 77);
  // Claimed whatever follows: an empty path cannot be read.
  EXPECT_TRUE(SetupMode(L"--tovrane-vpn-setup=", &exit_code));
  EXPECT_EQ(exit_code, kSetupInputUnreadable);
}

TEST(SetupCommandLine, TakesThePathAfterTheFirstOccurrence) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"--tovrane-vpn-setup=\"C:\\a b\\f.tmp\"tail more", L"C:\\a b\\f.tmp"},
      {L"x y--tovrane-vpn-setup=\"p\" --tovrane-vpn-setup=\"q\"", L"p"},
      {L"--tovrane-vpn-setup=C:\\a b\\f.tmp --flag", L"C:\\a b\\f.tmp --flag"},
      {L"--tovrane-vpn-setup=\"C:\\no closing quote", L"C:\\no closing quote"},
  };
  for (const auto& [command_line, expected] : cases) {
    std::wstring path;
    ASSERT_TRUE(FindSetupFilePath(command_line, &path));
    EXPECT_EQ(path, expected);
  }
}

TEST(TunnelDataFolder, IsTheSystemsProgramDataWhateverTheVariableSays) {
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"D:\\Shared Data", L"D:\\Shared Data"},
      {L"", L"C:\\ProgramData"},  // unset
      // As long as the first buffer, and longer: never cut or overrun.
      {L"D:\\" + std::wstring(257, L'e'), L"D:\\" + std::wstring(257, L'e')},
      {L"D:\\" + std::wstring(400, L'd'), L"D:\\" + std::wstring(400, L'd')},
  };
  for (const auto& [program_data, fallback] : cases) {
    const test::ScopedVariable variable(
        L"ProgramData", program_data.empty() ? nullptr : program_data.c_str());
    EXPECT_EQ(GetProgramDataFromEnvironment(), fallback);
    // Wine's known folder is C:\ProgramData.
    EXPECT_EQ(GetTunnelDataFolder(), L"C:\\ProgramData\\TovraneVPN");
    EXPECT_EQ(GetTunnelConfigPath(),
              L"C:\\ProgramData\\TovraneVPN\\tovranevpn.conf");
  }
}

TEST(ReadWholeFile, ReadsEveryByteOrFails) {
  const test::TemporaryFolder folder;
  const fs::path path = folder.File(L"read whole.bin");
  std::string read = "untouched";
  EXPECT_FALSE(ReadWholeFile(path.wstring(), &read));  // missing
  std::ofstream(path, std::ios::binary).flush();
  EXPECT_FALSE(ReadWholeFile(path.wstring(), &read));  // empty
  EXPECT_EQ(read, "untouched");

  const std::string bytes("a\0b\r\n\xff\x1a z", 9);
  std::ofstream(path, std::ios::binary) << bytes;
  {
    // Another process may hold the file open for reading and writing.
    ScopedKernelHandle writer(CreateFileW(path.c_str(),
                                          GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer);
    ASSERT_TRUE(ReadWholeFile(path.wstring(), &read));
    EXPECT_EQ(read, bytes);
  }
}

}  // namespace
}  // namespace velk
