// The tunnel service operations against Wine's real service control manager,
// with a test host (tovrane_tunnel.exe beside this program) as the service.
#include "client/provisioning/tunnel_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cwctype>
#include <filesystem>
#include <vector>

#include "client/provisioning/scoped_handles.h"
#include "client/provisioning/setup_mode.h"
#include "tests/provisioning/service_test_support.h"

namespace velk {
namespace {

using velk_test::InstalledServiceConfig;

constexpr wchar_t kConfigPath[] =
    L"C:\\ProgramData\\TovraneVPN\\tovranevpn.conf";

class TunnelServiceTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(velk_test::RemoveTunnelService());
    user_ = QueryCurrentUser();
    ASSERT_FALSE(user_.empty());
  }
  void TearDown() override { EXPECT_TRUE(velk_test::RemoveTunnelService()); }

  PSID user_sid() {
    return reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
  }

  void InstallWithArguments(const std::wstring& extra_arguments) {
    ASSERT_TRUE(InstallTunnelService(kConfigPath, user_sid()));
    ASSERT_TRUE(velk_test::SetTunnelServiceCommandLine(
        velk_test::TestHostCommandLine(kConfigPath, extra_arguments)));
  }

  std::vector<BYTE> user_;
};

TEST(ServiceCommandLine, QuotesHostConfigurationAndTunnelName) {
  const std::wstring folder = GetClientFolder();
  // The folder is this program's: the test host sits beside it.
  EXPECT_TRUE(std::filesystem::exists(folder + L"\\tovrane_tunnel.exe"));
  EXPECT_EQ(BuildServiceCommandLine(L"D:\\data dir\\t.conf"),
            L"\"" + folder +
                L"\\tovrane_tunnel.exe\" \"D:\\data dir\\t.conf\" "
                L"\"TovraneVPN\"");
}

TEST_F(TunnelServiceTest, InstallCreatesTheServiceAsConfigured) {
  ASSERT_TRUE(InstallTunnelService(kConfigPath, user_sid()));

  InstalledServiceConfig config;
  ASSERT_TRUE(velk_test::ReadTunnelServiceConfig(&config));
  EXPECT_EQ(config.binary_path, BuildServiceCommandLine(kConfigPath));
  EXPECT_EQ(config.display_name, L"TovraneVPNTunnel");
  EXPECT_EQ(config.service_type, 0x10u);  // SERVICE_WIN32_OWN_PROCESS
  EXPECT_EQ(config.start_type, 3u);       // SERVICE_DEMAND_START
  EXPECT_EQ(config.error_control, 1u);    // SERVICE_ERROR_NORMAL
  EXPECT_TRUE(TunnelServiceExists());
  EXPECT_TRUE(TunnelServiceIsCurrent(kConfigPath));
  EXPECT_EQ(QueryTunnelServiceState(), TunnelServiceState::Stopped);
}

TEST_F(TunnelServiceTest, InstallOverAnExistingServiceReplacesItsSettings) {
  {
    ScopedServiceHandle manager(
        OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(manager);
    ScopedServiceHandle old(CreateServiceW(
        manager.get(), kTunnelServiceName, L"Old display name",
        SERVICE_ALL_ACCESS, SERVICE_WIN32_SHARE_PROCESS, SERVICE_AUTO_START,
        SERVICE_ERROR_IGNORE, L"C:\\old\\host.exe --old", nullptr, nullptr,
        nullptr, nullptr, nullptr));
    ASSERT_TRUE(old);
  }
  EXPECT_FALSE(TunnelServiceIsCurrent(kConfigPath));

  ASSERT_TRUE(InstallTunnelService(kConfigPath, user_sid()));

  InstalledServiceConfig config;
  ASSERT_TRUE(velk_test::ReadTunnelServiceConfig(&config));
  EXPECT_EQ(config.binary_path, BuildServiceCommandLine(kConfigPath));
  EXPECT_EQ(config.display_name, L"TovraneVPNTunnel");
  EXPECT_EQ(config.service_type, 0x10u);
  EXPECT_EQ(config.start_type, 3u);
  EXPECT_EQ(config.error_control, 1u);
  EXPECT_TRUE(TunnelServiceIsCurrent(kConfigPath));
  // Installing again for the same user merges the entry and still succeeds.
  EXPECT_TRUE(InstallTunnelService(kConfigPath, user_sid()));
}

TEST_F(TunnelServiceTest, CurrencyIgnoresCaseButNotAnotherFolder) {
  ASSERT_TRUE(InstallTunnelService(kConfigPath, user_sid()));
  std::wstring upper = BuildServiceCommandLine(kConfigPath);
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
  ASSERT_TRUE(velk_test::SetTunnelServiceCommandLine(upper));
  EXPECT_TRUE(TunnelServiceIsCurrent(kConfigPath));

  const std::wstring folder = GetClientFolder();
  std::wstring moved = BuildServiceCommandLine(kConfigPath);
  moved.replace(1, folder.size(), folder + L"2");
  ASSERT_TRUE(velk_test::SetTunnelServiceCommandLine(moved));
  EXPECT_FALSE(TunnelServiceIsCurrent(kConfigPath));

  // Another configuration path is another installation.
  ASSERT_TRUE(velk_test::SetTunnelServiceCommandLine(
      BuildServiceCommandLine(kConfigPath)));
  EXPECT_FALSE(TunnelServiceIsCurrent(L"C:\\ProgramData\\Other\\t.conf"));
}

TEST_F(TunnelServiceTest, StartAndStopRepeatedCountAsSuccess) {
  ASSERT_TRUE(InstallTunnelService(kConfigPath, user_sid()));
  EXPECT_TRUE(StopTunnelService());  // not running yet

  ASSERT_TRUE(StartTunnelService());
  ASSERT_TRUE(
      velk_test::WaitForTunnelServiceState(TunnelServiceState::Running, 5000));
  EXPECT_TRUE(StartTunnelService());  // already running

  StopTunnelServiceAndWait();
  uint32_t exit_code = 99;
  EXPECT_EQ(QueryTunnelServiceState(&exit_code), TunnelServiceState::Stopped);
  EXPECT_EQ(exit_code, 0u);
  EXPECT_TRUE(StopTunnelService());  // no longer running
}

TEST_F(TunnelServiceTest, StoppedServiceReportsItsServiceSpecificCode) {
  InstallWithArguments(L"--exit-code=5");
  ASSERT_TRUE(StartTunnelService());
  ASSERT_TRUE(
      velk_test::WaitForTunnelServiceState(TunnelServiceState::Running, 5000));
  StopTunnelServiceAndWait();
  uint32_t exit_code = 0;
  EXPECT_EQ(QueryTunnelServiceState(&exit_code), TunnelServiceState::Stopped);
  EXPECT_EQ(exit_code, 5u);
}

TEST_F(TunnelServiceTest, MissingServiceFailsEveryOperationQuietly) {
  EXPECT_FALSE(TunnelServiceExists());
  EXPECT_FALSE(TunnelServiceIsCurrent(kConfigPath));
  EXPECT_FALSE(StartTunnelService());
  EXPECT_FALSE(StopTunnelService());
  uint32_t exit_code = 99;
  EXPECT_EQ(QueryTunnelServiceState(&exit_code), TunnelServiceState::Stopped);
  EXPECT_EQ(exit_code, 0u);

  int pauses = 0;
  StopTunnelServiceAndWait([&pauses](DWORD) { ++pauses; });
  EXPECT_EQ(pauses, 0);
}

TEST_F(TunnelServiceTest, StopAndWaitGivesUpAfterAHundredPauses) {
  InstallWithArguments(L"--ignore-stop");
  ASSERT_TRUE(StartTunnelService());
  ASSERT_TRUE(
      velk_test::WaitForTunnelServiceState(TunnelServiceState::Running, 5000));
  std::vector<DWORD> pauses;
  StopTunnelServiceAndWait([&pauses](DWORD ms) { pauses.push_back(ms); });
  EXPECT_EQ(pauses.size(), 100u);
  EXPECT_EQ(std::count(pauses.begin(), pauses.end(), 100u), 100);
  EXPECT_EQ(QueryTunnelServiceState(), TunnelServiceState::Running);
}

TEST_F(TunnelServiceTest, StopAndWaitReturnsAsSoonAsTheServiceStops) {
  ASSERT_TRUE(InstallTunnelService(kConfigPath, user_sid()));
  ASSERT_TRUE(StartTunnelService());
  ASSERT_TRUE(
      velk_test::WaitForTunnelServiceState(TunnelServiceState::Running, 5000));
  int pauses = 0;
  StopTunnelServiceAndWait([&pauses](DWORD ms) {
    ++pauses;
    Sleep(ms);
  });
  EXPECT_LT(pauses, 100);
  EXPECT_EQ(QueryTunnelServiceState(), TunnelServiceState::Stopped);
}

TEST_F(TunnelServiceTest, StopAndWaitInRealTimeEndsAfterAboutTenSeconds) {
  InstallWithArguments(L"--ignore-stop");
  ASSERT_TRUE(StartTunnelService());
  ASSERT_TRUE(
      velk_test::WaitForTunnelServiceState(TunnelServiceState::Running, 5000));
  const auto started = std::chrono::steady_clock::now();
  StopTunnelServiceAndWait();
  const auto elapsed = std::chrono::steady_clock::now() - started;
  EXPECT_GE(elapsed, std::chrono::milliseconds(9900));
  EXPECT_LT(elapsed, std::chrono::milliseconds(13000));
}

}  // namespace
}  // namespace velk
