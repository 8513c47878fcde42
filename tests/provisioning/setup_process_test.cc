// Setup mode and the elevation hand-off end to end under Wine: this program
// runs itself as the setup process (its entry offers the command line to the
// setup mode first), which installs and starts the test host as the tunnel
// service in Wine's service control manager. Each case works in a private
// ProgramData and temporary folder, both with spaces in their paths.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "client/provisioning/elevated_setup.h"
#include "client/provisioning/scoped_handles.h"
#include "client/provisioning/setup_mode.h"
#include "client/provisioning/tunnel_config.h"
#include "client/provisioning/tunnel_service.h"
#include "tests/provisioning/service_test_support.h"

namespace velk {
namespace {

namespace fs = std::filesystem;

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
      "public_key=4OHi4+Tl5ufo6err7O3u7/Dx8vP09fb3+Pn6+/z9/v8=\n"
      "endpoint=" +
          endpoint + "\n",
      "10.8.0.2/32", "1.1.1.1,8.8.8.8", 1380, &config, &message))
      << message;
  return config;
}

// Runs `program` with `arguments` and answers its exit code, or -1.
int RunProgram(const std::wstring& program, const std::wstring& arguments) {
  std::wstring command_line = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr,
                      FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return -1;
  }
  ScopedKernelHandle process_handle(process.hProcess);
  ScopedKernelHandle thread_handle(process.hThread);
  if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) return -1;
  DWORD exit_code = 0;
  GetExitCodeProcess(process.hProcess, &exit_code);
  return static_cast<int>(exit_code);
}

int RunSetupProcess(const std::wstring& arguments) {
  return RunProgram(GetProgramPath(), arguments);
}

std::wstring Quoted(const fs::path& path) {
  return L"\"" + path.wstring() + L"\"";
}

int CountHandOffFiles(const fs::path& folder) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::wstring name = entry.path().filename().wstring();
    if (name.rfind(L"tvc", 0) == 0 && entry.path().extension() == L".tmp") {
      ++count;
    }
  }
  return count;
}

class SetupProcessTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(velk_test::RemoveTunnelService());
    wchar_t temp[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    root_ = fs::path(temp) /
            (L"velk prov " + std::to_wstring(GetCurrentProcessId()));
    program_data_ = root_ / L"program data";
    temp_ = root_ / L"tmp dir";
    fs::create_directories(program_data_);
    fs::create_directories(temp_);
    SetEnvironmentVariableW(L"ProgramData", program_data_.c_str());
    SetEnvironmentVariableW(L"TMP", temp_.c_str());
    SetEnvironmentVariableW(L"TEMP", temp_.c_str());
    config_path_ = program_data_ / L"TovraneVPN" / L"tovranevpn.conf";
    ASSERT_EQ(GetTunnelConfigPath(), config_path_.wstring());
  }

  void TearDown() override {
    EXPECT_TRUE(velk_test::RemoveTunnelService());
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  fs::path root_;
  fs::path program_data_;
  fs::path temp_;
  fs::path config_path_;
};

TEST_F(SetupProcessTest, MissingOrEmptyInputExitsTenAndTouchesNothing) {
  EXPECT_EQ(RunSetupProcess(L"--tovrane-vpn-setup=" + Quoted(temp_ / L"none")),
            kSetupInputUnreadable);
  const fs::path empty = temp_ / L"empty input.tmp";
  WriteFileBytes(empty, "");
  EXPECT_EQ(RunSetupProcess(L"--tovrane-vpn-setup=" + Quoted(empty)),
            kSetupInputUnreadable);
  EXPECT_TRUE(fs::exists(empty));
  EXPECT_FALSE(fs::exists(program_data_ / L"TovraneVPN"));
  EXPECT_FALSE(TunnelServiceExists());
}

TEST_F(SetupProcessTest, StoresTheTextInstallsAndStartsTheService) {
  const fs::path input = temp_ / L"tvc input.tmp";
  const std::string first = MakeConfig("vpn.example.net:51820");
  WriteFileBytes(input, first);

  ASSERT_EQ(RunSetupProcess(L"--tovrane-vpn-setup=" + Quoted(input)),
            kSetupSucceeded);
  EXPECT_FALSE(fs::exists(input));
  EXPECT_EQ(ReadFileBytes(config_path_), first);
  EXPECT_TRUE(TunnelServiceIsCurrent(config_path_.wstring()));
  EXPECT_TRUE(
      velk_test::WaitForTunnelServiceState(TunnelServiceState::Running, 5000));

  // A second run replaces the file's whole content and restarts the service.
  const std::string second = "[Interface]\n";
  WriteFileBytes(input, second);
  ASSERT_EQ(RunSetupProcess(L"--tovrane-vpn-setup=" + Quoted(input)),
            kSetupSucceeded);
  EXPECT_EQ(ReadFileBytes(config_path_), second);
  EXPECT_TRUE(
      velk_test::WaitForTunnelServiceState(TunnelServiceState::Running, 5000));
}

TEST_F(SetupProcessTest, FindsTheFirstArgumentAnywhereInTheLine) {
  const fs::path input = temp_ / L"input.tmp";
  WriteFileBytes(input, MakeConfig("a:1"));
  // Inside another argument, quoted, with text after the closing quote.
  EXPECT_EQ(RunSetupProcess(L"first x--tovrane-vpn-setup=" + Quoted(input) +
                            L"tail --tovrane-vpn-setup=\"elsewhere\""),
            kSetupSucceeded);

  // Unquoted without blanks, after another argument.
  const fs::path plain = fs::path(temp_).parent_path() /
                         (L"plain" + std::to_wstring(GetCurrentProcessId()));
  fs::create_directories(plain);
  WriteFileBytes(plain / L"in.tmp", MakeConfig("b:2"));
  EXPECT_EQ(RunSetupProcess(L"other --tovrane-vpn-setup=" +
                            (plain / L"in.tmp").wstring()),
            kSetupSucceeded);
  EXPECT_EQ(ReadFileBytes(config_path_), MakeConfig("b:2"));
  fs::remove_all(plain);
}

TEST_F(SetupProcessTest, UnquotedPathRunsToTheEndOfTheLine) {
  const fs::path input = temp_ / L"input.tmp";
  WriteFileBytes(input, MakeConfig("a:1"));
  EXPECT_EQ(RunSetupProcess(L"--tovrane-vpn-setup=" + input.wstring() +
                            L" --later-argument"),
            kSetupInputUnreadable);
  EXPECT_TRUE(fs::exists(input));
}

TEST_F(SetupProcessTest, UnwritableConfigurationExitsTwelve) {
  // A folder where the file belongs cannot be opened as a file.
  fs::create_directories(config_path_);
  const fs::path input = temp_ / L"input.tmp";
  WriteFileBytes(input, MakeConfig("a:1"));
  EXPECT_EQ(RunSetupProcess(L"--tovrane-vpn-setup=" + Quoted(input)),
            kSetupConfigNotStored);
  EXPECT_FALSE(fs::exists(input));
  EXPECT_FALSE(TunnelServiceExists());
}

TEST_F(SetupProcessTest, MissingTunnelHostExitsFifteen) {
  // A copy of the client in a folder without the host installs a service
  // whose program does not exist.
  const fs::path lonely = root_ / L"client without host";
  fs::create_directories(lonely);
  const fs::path copy = lonely / L"velk_vpn.exe";
  fs::copy_file(GetProgramPath(), copy);
  const fs::path input = temp_ / L"input.tmp";
  WriteFileBytes(input, MakeConfig("a:1"));

  EXPECT_EQ(RunProgram(copy.wstring(), L"--tovrane-vpn-setup=" + Quoted(input)),
            kSetupServiceNotStarted);
  EXPECT_EQ(ReadFileBytes(config_path_), MakeConfig("a:1"));
  EXPECT_TRUE(TunnelServiceExists());
  EXPECT_FALSE(TunnelServiceIsCurrent(config_path_.wstring()));
}

TEST_F(SetupProcessTest, ServiceMarkedForDeletionExitsFourteen) {
  ScopedServiceHandle manager(
      OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  ScopedServiceHandle old(CreateServiceW(
      manager.get(), kTunnelServiceName, kTunnelServiceName, SERVICE_ALL_ACCESS,
      SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
      L"C:\\old.exe", nullptr, nullptr, nullptr, nullptr, nullptr));
  ASSERT_TRUE(old);
  ASSERT_TRUE(DeleteService(old.get()));
  const fs::path input = temp_ / L"input.tmp";
  WriteFileBytes(input, MakeConfig("a:1"));
  EXPECT_EQ(RunSetupProcess(L"--tovrane-vpn-setup=" + Quoted(input)),
            kSetupServiceNotInstalled);
}

TEST_F(SetupProcessTest, FolderThatCannotBeMadeExitsEleven) {
  SetEnvironmentVariableW(L"ProgramData", (root_ / L"no such" / L"x").c_str());
  const fs::path input = temp_ / L"input.tmp";
  WriteFileBytes(input, MakeConfig("a:1"));
  EXPECT_EQ(RunSetupProcess(L"--tovrane-vpn-setup=" + Quoted(input)),
            kSetupFolderNotSecured);
  EXPECT_FALSE(fs::exists(input));
}

using HandOffTest = SetupProcessTest;

TEST_F(HandOffTest, SucceedsWhenTheSetupExitsWithZero) {
  ASSERT_NE(temp_.wstring().find(L' '), std::wstring::npos);
  const std::string config = MakeConfig("vpn.example.net:51820");
  DWORD asked_wait = 0;
  EXPECT_TRUE(RunElevatedSetup(config, [&asked_wait](HANDLE process, DWORD ms) {
    asked_wait = ms;
    return WaitForSingleObject(process, ms);
  }));
  EXPECT_EQ(asked_wait, 30000u);
  EXPECT_EQ(ReadFileBytes(config_path_), config);
  EXPECT_TRUE(TunnelServiceIsCurrent(config_path_.wstring()));
  EXPECT_TRUE(
      velk_test::WaitForTunnelServiceState(TunnelServiceState::Running, 5000));
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
  EXPECT_FALSE(TunnelServiceExists());
}

TEST_F(HandOffTest, GivesUpAfterTheWaitAndLeavesTheSetupRunning) {
  const fs::path report = root_ / L"report.txt";
  SetEnvironmentVariableW(L"VELK_TEST_SETUP_DELAY_MS", L"1500");
  SetEnvironmentVariableW(L"VELK_TEST_SETUP_REPORT", report.c_str());
  // The wait stands in for the 30 seconds with a fraction of the delay.
  const bool succeeded = RunElevatedSetup(
      MakeConfig("a:1"),
      [](HANDLE process, DWORD) { return WaitForSingleObject(process, 200); });
  SetEnvironmentVariableW(L"VELK_TEST_SETUP_DELAY_MS", nullptr);
  SetEnvironmentVariableW(L"VELK_TEST_SETUP_REPORT", nullptr);
  EXPECT_FALSE(succeeded);
  EXPECT_EQ(CountHandOffFiles(temp_), 0);
  EXPECT_FALSE(fs::exists(report));

  // The copy was not ended: it still finishes, and finds its input gone.
  for (int i = 0; i < 100 && !fs::exists(report); ++i) Sleep(100);
  Sleep(100);
  EXPECT_EQ(ReadFileBytes(report), "10");
}

}  // namespace
}  // namespace velk
