// The installers under Wine, silently, the way an administrator would run
// them: files in Program Files, Start menu entries and an uninstall entry;
// the uninstaller stops and deletes the tunnel service, removes what it
// installed and leaves the data folder. Run by road.sh from a folder of its
// own, with the installers' Linux paths in VELK_USER_INSTALLER and
// VELK_DEMONSTRATION_INSTALLER.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "client/provisioning/current_user.h"
#include "client/provisioning/tunnel_data_folder.h"
#include "client/provisioning/tunnel_service.h"
#include "common/tunnel_identity.h"
#include "tests/provisioning/service_test_support.h"
#include "tests/support/build_path.h"
#include "tests/support/test_process.h"
#include "tests/system/road_client.h"
#include "tests/system/road_machine.h"
#include "win/scoped_handle.h"

namespace velk::test {
namespace {

using velk::TunnelServiceState;

const std::wstring kInstallFolder = L"C:\\Program Files\\Velk VPN";
constexpr wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velk VPN";

std::wstring Installed(const std::wstring& name) {
  return kInstallFolder + L"\\" + name;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring StartMenuPrograms() {
  wchar_t data[MAX_PATH] = {};
  GetEnvironmentVariableW(L"ProgramData", data, MAX_PATH);
  return std::wstring(data) + L"\\Microsoft\\Windows\\Start Menu\\Programs";
}

bool UninstallEntryExists() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

// The installer named by the variable (a Linux path), as Wine sees it.
std::wstring Installer(const char* variable) {
  char linux_path[MAX_PATH] = {};
  GetEnvironmentVariableA(variable, linux_path, MAX_PATH);
  return WindowsPathOf(linux_path);
}

// The uninstaller starts a copy of itself ("Un.exe" in the temporary
// folder) and returns at once; that copy does the work.
bool UninstallAndWait() {
  if (RunProgram(Installed(L"Uninstall.exe"), L"/S") != 0) return false;
  return WaitUntil([] { return CountProcesses(L"Un.exe") == 0; }, 30000);
}

#if !VELK_PACKAGES_CARRY_THE_CLIENT
// The tunnel service for the installed host, as setup mode would install it.
bool InstallServiceForInstalledHost() {
  const velk::CurrentUser user = velk::QueryCurrentUser();
  if (user.empty()) return false;
  velk::ScopedServiceHandle manager(
      OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  const std::wstring command_line = L"\"" + Installed(L"tovrane_tunnel.exe") +
                                    L"\" \"" + velk::GetTunnelConfigPath() +
                                    L"\" \"TovraneVPN\"";
  velk::ScopedServiceHandle service(CreateServiceW(
      manager.get(), velk::kTunnelServiceName, velk::kTunnelServiceName,
      SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
      SERVICE_ERROR_NORMAL, command_line.c_str(), nullptr, nullptr, nullptr,
      nullptr, nullptr));
  return service.is_valid();
}
#endif

TEST(InstallerTest, UserPackageInstallsTheProgramsAloneAndGoesAwayWhole) {
  ASSERT_EQ(RunProgram(Installer("VELK_USER_INSTALLER"), L"/S"), 0);
  EXPECT_TRUE(Exists(Installed(L"tovrane_tunnel.exe")));
  EXPECT_TRUE(Exists(Installed(L"README.txt")));
  EXPECT_TRUE(Exists(Installed(L"Uninstall.exe")));
  for (const wchar_t* library : {L"flutter_windows.dll", L"tunnel.dll",
                                 L"url_launcher_windows_plugin.dll"}) {
    EXPECT_FALSE(Exists(Installed(library))) << library;
  }
  const std::wstring menu = StartMenuPrograms() + L"\\Velk VPN";
  EXPECT_TRUE(Exists(menu + L"\\Uninstall.lnk"));
  if (Exists(Installed(L"velk_vpn.exe"))) {
    EXPECT_TRUE(Exists(menu + L"\\Velk VPN.lnk"));
  }
  EXPECT_TRUE(UninstallEntryExists());

  ASSERT_TRUE(UninstallAndWait());
  EXPECT_FALSE(Exists(kInstallFolder));
  EXPECT_FALSE(Exists(menu));
  EXPECT_FALSE(UninstallEntryExists());
}

TEST(InstallerTest, UninstallStopsAndDeletesTheServiceAndKeepsTheDataFolder) {
  ASSERT_EQ(RunProgram(Installer("VELK_DEMONSTRATION_INSTALLER"), L"/S"), 0);
  for (const wchar_t* file :
       {L"tovrane_tunnel.exe", L"flutter_windows.dll", L"tunnel.dll",
        L"url_launcher_windows_plugin.dll", L"demonstration.conf"}) {
    EXPECT_TRUE(Exists(Installed(file))) << file;
  }
  const std::wstring menu =
      StartMenuPrograms() + L"\\Velk VPN demonstration (stand-in libraries)";
  EXPECT_TRUE(Exists(menu + L"\\Velk VPN demonstration.lnk"));

  // A connect through the installed client with the installed settings:
  // setup installs the service for the installed host, which runs the
  // stand-in tunnel; the peer answers it.
#if VELK_PACKAGES_CARRY_THE_CLIENT
  const std::optional<std::string> settings =
      ReadFileBytes(Installed(L"demonstration.conf"));
  ASSERT_TRUE(settings.has_value());
  const ClientRun run = RunClient(
      "listen\ncall connect demo\nwait status connected 30000\n"
      "wait replies 10000\nclose\n",
      *settings, 90000, kInstallFolder);
  EXPECT_EQ(run.exit_code, 0u);
  const std::vector<std::string> statuses = run.transcript.Statuses();
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.back(), "connected");
  InstalledServiceConfig service;
  ASSERT_TRUE(ReadTunnelServiceConfig(&service));
  EXPECT_EQ(service.binary_path, L"\"" + Installed(L"tovrane_tunnel.exe") +
                                     L"\" \"" + velk::GetTunnelConfigPath() +
                                     L"\" \"TovraneVPN\"");
#else
  ASSERT_TRUE(WriteFileBytes(
      velk::GetTunnelConfigPath(),
      "[Interface]\nPrivateKey = a2V5\n[Peer]\nEndpoint = 10.77.0.1:51820\n"));
  ASSERT_TRUE(InstallServiceForInstalledHost());
  ASSERT_TRUE(velk::StartTunnelService());
#endif
  ASSERT_TRUE(WaitForTunnelServiceState(TunnelServiceState::Running, 10000));
  EXPECT_TRUE(
      WaitUntil([] { return TunnelReceivedBytes().value_or(0) > 0; }, 5000));
  const std::optional<std::string> stored =
      ReadFileBytes(velk::GetTunnelConfigPath());
  ASSERT_TRUE(stored.has_value());

  ASSERT_TRUE(UninstallAndWait());
  EXPECT_FALSE(Exists(kInstallFolder));
  EXPECT_FALSE(velk::TunnelServiceExists());
  EXPECT_EQ(CountProcesses(L"tovrane_tunnel.exe"), 0);
  EXPECT_FALSE(Exists(menu));
  EXPECT_EQ(ReadFileBytes(velk::GetTunnelConfigPath()), stored);
}

}  // namespace
}  // namespace velk::test
