// The tunnel service operations against Wine's real service control manager,
// with the test host (tovrane_tunnel.exe beside this program) as the service.
#include "client/provisioning/tunnel_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cwctype>
#include <vector>

#include "client/provisioning/current_user.h"
#include "common/tunnel_identity.h"
#include "tests/provisioning/service_test_support.h"
#include "win/program_path.h"
#include "win/scoped_handle.h"

namespace velk {
namespace {

constexpr wchar_t kConfigPath[] =
    L"C:\\ProgramData\\TovraneVPN\\tovranevpn.conf";

class TunnelServiceTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(record_.ok());
    ASSERT_TRUE(test::RemoveTunnelService());
    user_ = QueryCurrentUser();
    ASSERT_FALSE(user_.empty());
  }
  void TearDown() override { EXPECT_TRUE(test::RemoveTunnelService()); }

  PSID user_sid() { return user_.sid(); }

  // Installs, gives the test host `extra_arguments`, starts and waits.
  void StartWithArguments(const std::wstring& extra_arguments) {
    ASSERT_TRUE(InstallTunnelService(kConfigPath, user_sid()));
    ASSERT_TRUE(test::SetTunnelServiceCommandLine(
        test::TestHostCommandLine(kConfigPath, extra_arguments)));
    ASSERT_TRUE(StartTunnelService());
    ASSERT_TRUE(test::WaitForTunnelServiceState(TunnelServiceState::Running));
  }

  void ExpectInstalledAsConfigured() {
    test::InstalledServiceConfig config;
    ASSERT_TRUE(test::ReadTunnelServiceConfig(&config));
    EXPECT_EQ(config.binary_path,
              L"\"" + GetProgramFolder() +
                  L"\\tovrane_tunnel.exe\" "
                  L"\"C:\\ProgramData\\TovraneVPN\\tovranevpn.conf\" "
                  L"\"TovraneVPN\"");
    EXPECT_EQ(config.display_name, L"TovraneVPNTunnel");
    EXPECT_EQ(config.service_type, 0x10u);  // SERVICE_WIN32_OWN_PROCESS
    EXPECT_EQ(config.start_type, 3u);       // SERVICE_DEMAND_START
    EXPECT_EQ(config.error_control, 1u);    // SERVICE_ERROR_NORMAL
    EXPECT_TRUE(TunnelServiceIsCurrent(kConfigPath));
  }

  // The test host beside this program is the service's, as if installed.
  test::ScopedInstallRecord record_{GetProgramFolder()};
  CurrentUser user_;
};

TEST_F(TunnelServiceTest, InstallCreatesOrReplacesTheService) {
  ASSERT_TRUE(InstallTunnelService(kConfigPath, user_sid()));
  ExpectInstalledAsConfigured();
  EXPECT_TRUE(TunnelServiceExists());
  EXPECT_EQ(QueryTunnelServiceState(), TunnelServiceState::Stopped);

  ASSERT_TRUE(test::RemoveTunnelService());
  {
    ScopedServiceHandle manager(
        OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ScopedServiceHandle old(CreateServiceW(
        manager.get(), kTunnelServiceName, L"Old name", SERVICE_ALL_ACCESS,
        SERVICE_WIN32_SHARE_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_IGNORE,
        L"C:\\old\\host.exe", nullptr, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(old);
  }
  EXPECT_FALSE(TunnelServiceIsCurrent(kConfigPath));
  ASSERT_TRUE(InstallTunnelService(kConfigPath, user_sid()));
  ExpectInstalledAsConfigured();
  // Again for the same user: the entry merges with the one present.
  EXPECT_TRUE(InstallTunnelService(kConfigPath, user_sid()));
}

TEST_F(TunnelServiceTest, CurrencyIgnoresLetterCaseButNotAnotherFolder) {
  ASSERT_TRUE(InstallTunnelService(kConfigPath, user_sid()));
  std::wstring upper = BuildServiceCommandLine(kConfigPath);
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
  ASSERT_TRUE(test::SetTunnelServiceCommandLine(upper));
  EXPECT_TRUE(TunnelServiceIsCurrent(kConfigPath));

  std::wstring moved = BuildServiceCommandLine(kConfigPath);
  moved.insert(GetProgramFolder().size() + 1, L"2");
  ASSERT_TRUE(test::SetTunnelServiceCommandLine(moved));
  EXPECT_FALSE(TunnelServiceIsCurrent(kConfigPath));
  EXPECT_FALSE(TunnelServiceIsCurrent(L"C:\\Other\\tovranevpn.conf"));
}

TEST_F(TunnelServiceTest, RepeatedStartAndStopCountAsSuccess) {
  ASSERT_TRUE(InstallTunnelService(kConfigPath, user_sid()));
  EXPECT_TRUE(StopTunnelService());  // not running yet
  StartWithArguments(L"");
  EXPECT_TRUE(StartTunnelService());  // already running

  StopTunnelServiceAndWait();
  uint32_t exit_code = 99;
  EXPECT_EQ(QueryTunnelServiceState(&exit_code), TunnelServiceState::Stopped);
  EXPECT_EQ(exit_code, 0u);
  EXPECT_TRUE(StopTunnelService());  // no longer running
}

TEST_F(TunnelServiceTest, StoppedServiceReportsItsServiceSpecificCode) {
  StartWithArguments(L"--exit-code=5");
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
  StartWithArguments(L"--ignore-stop");
  std::vector<DWORD> pauses;
  StopTunnelServiceAndWait([&pauses](DWORD ms) { pauses.push_back(ms); });
  EXPECT_EQ(pauses, std::vector<DWORD>(100, 100));
  EXPECT_EQ(QueryTunnelServiceState(), TunnelServiceState::Running);
}

// The pauses' count and length are the previous case's; this one proves that
// the default pause really sleeps. Only the lower bound is tight: a loaded
// machine stretches every poll, so the upper one only catches pauses of the
// wrong unit (seconds instead of milliseconds would take 100 s).
TEST_F(TunnelServiceTest, StopAndWaitInRealTimeEndsAfterAboutTenSeconds) {
  StartWithArguments(L"--ignore-stop");
  const auto started = std::chrono::steady_clock::now();
  StopTunnelServiceAndWait();
  const auto elapsed = std::chrono::steady_clock::now() - started;
  EXPECT_GE(elapsed, std::chrono::milliseconds(9900));
  EXPECT_LT(elapsed, std::chrono::seconds(40));
  EXPECT_EQ(QueryTunnelServiceState(), TunnelServiceState::Running);
}

// The host reports "stopped" before its teardown is over (the real one then
// removes its endpoint route): the wait lasts until its process has ended,
// so that a host started next never meets that teardown.
TEST_F(TunnelServiceTest, StopAndWaitLastsUntilTheHostProcessHasEnded) {
  StartWithArguments(L"--linger-ms=2000");
  ScopedServiceHandle manager(
      OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  ScopedServiceHandle service(
      OpenServiceW(manager.get(), kTunnelServiceName, SERVICE_QUERY_STATUS));
  SERVICE_STATUS_PROCESS status = {};
  DWORD needed = 0;
  ASSERT_TRUE(QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO,
                                   reinterpret_cast<BYTE*>(&status),
                                   sizeof(status), &needed));
  const ScopedKernelHandle host(
      OpenProcess(SYNCHRONIZE, FALSE, status.dwProcessId));
  ASSERT_TRUE(host);
  StopTunnelServiceAndWait();
  EXPECT_EQ(WaitForSingleObject(host.get(), 0), WAIT_OBJECT_0);
}

}  // namespace
}  // namespace velk
