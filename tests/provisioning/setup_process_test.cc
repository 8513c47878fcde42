// Setup mode and the elevation hand-off end to end under Wine. This program
// runs itself as the setup process (its entry offers the command line to the
// setup mode first), which installs and starts the test host as the tunnel
// service. Each case has a private ProgramData and temporary folder, both
// with spaces in their paths.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "client/provisioning/elevated_setup.h"
#include "client/provisioning/setup_mode.h"
#include "client/provisioning/tunnel_config.h"
#include "client/provisioning/tunnel_service.h"
#include "common/tunnel_identity.h"
#include "tests/provisioning/service_test_support.h"
#include "tests/support/test_process.h"
#include "win/program_path.h"
#include "win/scoped_handle.h"

namespace velk {
namespace {

namespace fs = std::filesystem;

using test::RunProgram;

std::string ReadFileBytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)),
                     std::istreambuf_iterator<char>());
}

void WriteFileBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string MakeConfig(const std::string& endpoint) {
  std::string config;
  std::string message;
  EXPECT_TRUE(BuildTunnelConfig(
      "private_key=AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=\n"
      "public_key=4OHi4+Tl5ufo6err7O3u7/Dx8vP09fb3+Pn6+/z9/v8=\nendpoint=" +
          endpoint,
      "10.8.0.2/32", "1.1.1.1,8.8.8.8", 1380, &config, &message));
  return config;
}

std::wstring SetupArgument(const fs::path& input) {
  return L"--tovrane-vpn-setup=\"" + input.wstring() + L"\"";
}

int CountHandOffFiles(const fs::path& folder) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::wstring name = entry.path().filename().wstring();
    count += name.rfind(L"tvc", 0) == 0 && entry.path().extension() == L".tmp";
  }
  return count;
}

class SetupProcessTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(record_.ok());
    ASSERT_TRUE(test::RemoveTunnelService());
    wchar_t temp[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    root_ = fs::path(temp) /
            (L"velk prov " + std::to_wstring(GetCurrentProcessId()));
    temp_ = root_ / L"tmp dir";
    fs::create_directories(root_ / L"program data");
    fs::create_directories(temp_);
    SetEnvironmentVariableW(L"ProgramData", (root_ / L"program data").c_str());
    SetEnvironmentVariableW(L"TMP", temp_.c_str());
    SetEnvironmentVariableW(L"TEMP", temp_.c_str());
    config_path_ = root_ / L"program data\\TovraneVPN\\tovranevpn.conf";
    input_ = temp_ / L"tvc input.tmp";
    program_files_copy_ =
        fs::path(L"C:\\Program Files") /
        (L"velk prov " + std::to_wstring(GetCurrentProcessId()));
  }

  void TearDown() override {
    EXPECT_TRUE(test::RemoveTunnelService());
    std::error_code ignored;
    fs::remove_all(root_, ignored);
    fs::remove_all(program_files_copy_, ignored);
  }

  // A copy of this program, and of the test host when `with_host`, in
  // `folder`.
  static fs::path CopyClientTo(const fs::path& folder, bool with_host) {
    fs::create_directories(folder);
    fs::copy_file(GetProgramPath(), folder / L"velk_vpn.exe");
    if (with_host) {
      fs::copy_file(fs::path(GetProgramFolder()) / L"tovrane_tunnel.exe",
                    folder / L"tovrane_tunnel.exe");
    }
    return folder / L"velk_vpn.exe";
  }

  // Runs this program as the setup process on an input file holding `text`.
  int RunSetupOn(const std::string& text) {
    WriteFileBytes(input_, text);
    return RunProgram(GetProgramPath(), SetupArgument(input_));
  }

  // This program's folder stands for the installed client's.
  test::ScopedInstallRecord record_{GetProgramFolder()};
  fs::path root_;
  fs::path program_files_copy_;
  fs::path temp_;
  fs::path config_path_;
  fs::path input_;
};

TEST_F(SetupProcessTest, MissingOrEmptyInputExitsTenAndTouchesNothing) {
  EXPECT_EQ(RunProgram(GetProgramPath(), SetupArgument(temp_ / L"none")), 10);
  EXPECT_EQ(RunSetupOn(""), 10);
  EXPECT_TRUE(fs::exists(input_));
  EXPECT_FALSE(fs::exists(config_path_.parent_path()));
  EXPECT_FALSE(TunnelServiceExists());
}

TEST_F(SetupProcessTest, StoresTheTextInstallsAndStartsTheService) {
  const std::string config = MakeConfig("vpn.example.net:51820");
  ASSERT_EQ(RunSetupOn(config), 0);
  EXPECT_FALSE(fs::exists(input_));
  EXPECT_EQ(ReadFileBytes(config_path_), config);
  EXPECT_TRUE(TunnelServiceIsCurrent(config_path_.wstring()));
  EXPECT_TRUE(test::WaitForTunnelServiceState(TunnelServiceState::Running));

  // A second run replaces the whole file and restarts the service.
  ASSERT_EQ(RunSetupOn("[Interface]\n"), 0);
  EXPECT_EQ(ReadFileBytes(config_path_), "[Interface]\n");
  EXPECT_TRUE(test::WaitForTunnelServiceState(TunnelServiceState::Running));
}

TEST_F(SetupProcessTest, TakesThePathAfterTheFirstArgumentOnly) {
  WriteFileBytes(input_, MakeConfig("a:1"));
  // Inside another argument, with text after the closing quote.
  EXPECT_EQ(
      RunProgram(GetProgramPath(), L"first x" + SetupArgument(input_) +
                                       L"tail " + SetupArgument(L"elsewhere")),
      0);
  // Unquoted, the path runs to the end of the line.
  WriteFileBytes(input_, MakeConfig("b:2"));
  EXPECT_EQ(RunProgram(GetProgramPath(),
                       L"--tovrane-vpn-setup=" + input_.wstring() + L" -x"),
            10);
  EXPECT_EQ(ReadFileBytes(config_path_), MakeConfig("a:1"));
}

TEST_F(SetupProcessTest, ExitCodesOfTheLaterSteps) {
  // 11: the data folder cannot be made, so it cannot be secured.
  SetEnvironmentVariableW(L"ProgramData", (root_ / L"none" / L"x").c_str());
  EXPECT_EQ(RunSetupOn(MakeConfig("a:1")), 11);
  EXPECT_FALSE(fs::exists(input_));
  SetEnvironmentVariableW(L"ProgramData", (root_ / L"program data").c_str());

  // 12: a folder where the file belongs cannot be written as a file.
  fs::create_directories(config_path_);
  EXPECT_EQ(RunSetupOn(MakeConfig("a:1")), 12);
  EXPECT_FALSE(TunnelServiceExists());
  fs::remove(config_path_);

  // 14: a service marked for deletion cannot be created or reconfigured.
  {
    ScopedServiceHandle manager(
        OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ScopedServiceHandle doomed(CreateServiceW(
        manager.get(), kTunnelServiceName, kTunnelServiceName,
        SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
        SERVICE_ERROR_NORMAL, L"C:\\old.exe", nullptr, nullptr, nullptr,
        nullptr, nullptr));
    ASSERT_TRUE(doomed && DeleteService(doomed.get()));
    EXPECT_EQ(RunSetupOn(MakeConfig("a:1")), 14);
    EXPECT_EQ(ReadFileBytes(config_path_), MakeConfig("a:1"));
  }

  // 15: a client copy under Program Files without the host beside it
  // installs a service whose program does not exist.
  const fs::path copy = CopyClientTo(program_files_copy_, false);
  WriteFileBytes(input_, MakeConfig("c:3"));
  EXPECT_EQ(RunProgram(copy.wstring(), SetupArgument(input_)), 15);
  EXPECT_TRUE(TunnelServiceExists());
  EXPECT_FALSE(TunnelServiceIsCurrent(config_path_.wstring()));
}

// A copy that the user could have put anywhere must not point the LocalSystem
// service at files the user can replace: only a folder under Program Files
// or the recorded one is approved. Also when the user's environment names
// their own folder as Program Files, since the elevated copy inherits it.
// (A short name in the copy's path cannot be posed here: Wine gives the
// program its long path.)
TEST_F(SetupProcessTest, ServiceIsPointedOnlyAtAnApprovedFolder) {
  ASSERT_EQ(RunSetupOn(MakeConfig("a:1")), 0);
  test::InstalledServiceConfig installed;
  ASSERT_TRUE(test::ReadTunnelServiceConfig(&installed));

  const fs::path in_profile = CopyClientTo(root_ / L"user copy", true);
  const fs::path in_program_files = CopyClientTo(program_files_copy_, true);
  wchar_t program_files[MAX_PATH] = {};
  ASSERT_GT(GetEnvironmentVariableW(L"ProgramFiles", program_files, MAX_PATH),
            0u);
  SetEnvironmentVariableW(L"ProgramFiles", root_.c_str());
  SetEnvironmentVariableW(L"ProgramW6432", root_.c_str());
  WriteFileBytes(input_, MakeConfig("b:2"));
  EXPECT_EQ(RunProgram(in_profile.wstring(), SetupArgument(input_)), 14);
  test::InstalledServiceConfig after;
  ASSERT_TRUE(test::ReadTunnelServiceConfig(&after));
  EXPECT_EQ(after.binary_path, installed.binary_path);
  SetEnvironmentVariableW(L"ProgramFiles", program_files);
  SetEnvironmentVariableW(L"ProgramW6432", program_files);

  WriteFileBytes(input_, MakeConfig("c:3"));
  EXPECT_EQ(RunProgram(in_program_files.wstring(), SetupArgument(input_)), 0);
  test::InstalledServiceConfig moved;
  ASSERT_TRUE(test::ReadTunnelServiceConfig(&moved));
  EXPECT_EQ(moved.binary_path.find(program_files_copy_.wstring()), 1u);
}

using HandOffTest = SetupProcessTest;

TEST_F(HandOffTest, SucceedsWhenTheSetupExitsWithZero) {
  const std::string config = MakeConfig("vpn.example.net:51820");
  DWORD asked_wait = 0;
  EXPECT_TRUE(RunElevatedSetup(config, [&asked_wait](HANDLE process, DWORD ms) {
    asked_wait = ms;
    return WaitForSingleObject(process, ms);
  }));
  EXPECT_EQ(asked_wait, 30000u);
  EXPECT_EQ(ReadFileBytes(config_path_), config);
  EXPECT_TRUE(TunnelServiceIsCurrent(config_path_.wstring()));
  EXPECT_TRUE(test::WaitForTunnelServiceState(TunnelServiceState::Running));
  EXPECT_EQ(CountHandOffFiles(temp_), 0);
}

TEST_F(HandOffTest, FailsOnAnyOtherExitCode) {
  // An empty text makes the setup exit with 10.
  const fs::path report = root_ / L"report.txt";
  SetEnvironmentVariableW(L"VELK_TEST_SETUP_REPORT", report.c_str());
  EXPECT_FALSE(RunElevatedSetup(""));
  SetEnvironmentVariableW(L"VELK_TEST_SETUP_REPORT", nullptr);
  EXPECT_EQ(ReadFileBytes(report), "10");
  EXPECT_EQ(CountHandOffFiles(temp_), 0);
}

TEST_F(HandOffTest, GivesUpAfterTheWaitAndLeavesTheSetupRunning) {
  const fs::path report = root_ / L"report.txt";
  // The copy must still be asleep when the wait gives up and the input is
  // deleted: 5 s leave room for a loaded machine to stall this process.
  SetEnvironmentVariableW(L"VELK_TEST_SETUP_DELAY_MS", L"5000");
  SetEnvironmentVariableW(L"VELK_TEST_SETUP_REPORT", report.c_str());
  // A 200 ms wait stands in for the 30 seconds.
  const bool succeeded = RunElevatedSetup(
      MakeConfig("a:1"),
      [](HANDLE process, DWORD) { return WaitForSingleObject(process, 200); });
  SetEnvironmentVariableW(L"VELK_TEST_SETUP_DELAY_MS", nullptr);
  SetEnvironmentVariableW(L"VELK_TEST_SETUP_REPORT", nullptr);
  EXPECT_FALSE(succeeded);
  EXPECT_EQ(CountHandOffFiles(temp_), 0);
  EXPECT_FALSE(fs::exists(report));

  // The copy was not ended: it still finishes, and finds its input gone.
  const ULONGLONG deadline = GetTickCount64() + test::kServiceDeadlineMs;
  while (ReadFileBytes(report).empty() && GetTickCount64() < deadline) {
    Sleep(100);
  }
  EXPECT_EQ(ReadFileBytes(report), "10");
}

}  // namespace
}  // namespace velk
