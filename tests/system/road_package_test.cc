// The installers and MSI packages under Wine, silently, the way an
// administrator would run them: files in Program Files, Start menu entries,
// an uninstall entry and the install-folder record; an upgrade keeps the
// tunnel service and starts it again; the uninstall stops and deletes the
// service, removes what was installed and leaves the data folder. Run by
// road.sh from a folder of its own, with the packages' Linux paths in
// VELK_[OLD_](USER|DEMONSTRATION)_(INSTALLER|MSI) and their versions in
// VELK_[OLD_]PACKAGE_VERSION.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "client/provisioning/current_user.h"
#include "client/provisioning/tunnel_data_folder.h"
#include "client/provisioning/tunnel_service.h"
#include "common/tunnel_identity.h"
#include "tests/provisioning/service_test_support.h"
#include "tests/support/build_path.h"
#include "tests/support/test_process.h"
#include "tests/system/road_client.h"
#include "tests/system/road_machine.h"

namespace velk::test {
namespace {

using velk::TunnelServiceState;

const std::wstring kInstallFolder = L"C:\\Program Files\\Velk VPN";
constexpr wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr wchar_t kUserName[] = L"Velk VPN";
constexpr wchar_t kDemonstrationName[] =
    L"Velk VPN demonstration (stand-in libraries)";

std::wstring Installed(const std::wstring& name) {
  return kInstallFolder + L"\\" + name;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring StartMenuPrograms(const wchar_t* root = L"ProgramData") {
  wchar_t data[MAX_PATH] = {};
  GetEnvironmentVariableW(root, data, MAX_PATH);
  return std::wstring(data) + L"\\Microsoft\\Windows\\Start Menu\\Programs";
}

std::wstring RegistryText(HKEY root, const std::wstring& key,
                          const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  DWORD size = sizeof(value);
  if (RegGetValueW(root, key.c_str(), name,
                   RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, value,
                   &size) != ERROR_SUCCESS) {
    return L"";
  }
  return value;
}

std::wstring InstallFolderRecord() {
  return RegistryText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Velk VPN",
                      L"InstallFolder");
}

// The versions of the uninstall entries with this display name.
std::vector<std::wstring> InstalledVersions(const std::wstring& name) {
  std::vector<std::wstring> versions;
  HKEY uninstall = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ,
                    &uninstall) != ERROR_SUCCESS) {
    return versions;
  }
  wchar_t entry[256];
  DWORD length = 256;
  for (DWORD i = 0; RegEnumKeyExW(uninstall, i, entry, &length, nullptr,
                                  nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       ++i, length = 256) {
    const std::wstring key = std::wstring(kUninstallKey) + L"\\" + entry;
    if (RegistryText(HKEY_LOCAL_MACHINE, key, L"DisplayName") == name) {
      versions.push_back(
          RegistryText(HKEY_LOCAL_MACHINE, key, L"DisplayVersion"));
    }
  }
  RegCloseKey(uninstall);
  return versions;
}

std::string Variable(const char* name) {
  char value[MAX_PATH] = {};
  GetEnvironmentVariableA(name, value, MAX_PATH);
  return value;
}

std::wstring Version(const char* variable) {
  const std::string version = Variable(variable);
  return std::wstring(version.begin(), version.end());
}

// The package named by the variable (a Linux path), as Wine sees it.
std::wstring Installer(const char* variable) {
  return WindowsPathOf(Variable(variable).c_str());
}

bool IsMsi(const char* variable) {
  return Installer(variable).ends_with(L".msi");
}

// Installs the package named by the variable silently: an MSI package with
// msiexec, an installer by itself. The exit code.
int Install(const char* variable) {
  if (IsMsi(variable)) {
    return RunProgram(L"C:\\windows\\system32\\msiexec.exe",
                      L"/i \"" + Installer(variable) + L"\" /qn", L"", 120000);
  }
  return RunProgram(Installer(variable), L"/S", L"", 120000);
}

// The uninstaller starts a copy of itself ("Un.exe" in the temporary
// folder) and returns at once; that copy does the work.
bool UninstallAndWait() {
  if (RunProgram(Installed(L"Uninstall.exe"), L"/S") != 0) return false;
  return WaitUntil([] { return CountProcesses(L"Un.exe") == 0; }, 30000);
}

bool Uninstall(const char* variable) {
  if (!IsMsi(variable)) return UninstallAndWait();
  return RunProgram(L"C:\\windows\\system32\\msiexec.exe",
                    L"/x \"" + Installer(variable) + L"\" /qn") == 0;
}

// The package's Start menu folder. Wine's msiexec puts a per-machine
// package's entries into the user's Start menu (Windows into the one for
// all users).
std::wstring Menu(const char* variable, const std::wstring& name) {
  return StartMenuPrograms(IsMsi(variable) ? L"APPDATA" : L"ProgramData") +
         L"\\" + name;
}

constexpr char kStoredConfig[] =
    "[Interface]\nPrivateKey = a2V5\n[Peer]\nEndpoint = 10.77.0.1:51820\n";

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

TEST(InstallerTest, UserPackagesInstallTheProgramsAloneAndGoAwayWhole) {
  for (const char* package : {"VELK_USER_INSTALLER", "VELK_USER_MSI"}) {
    SCOPED_TRACE(package);
    ASSERT_EQ(Install(package), 0);
    EXPECT_TRUE(Exists(Installed(L"tovrane_tunnel.exe")));
    EXPECT_TRUE(Exists(Installed(L"README.txt")));
    for (const wchar_t* library : {L"flutter_windows.dll", L"tunnel.dll",
                                   L"url_launcher_windows_plugin.dll"}) {
      EXPECT_FALSE(Exists(Installed(library))) << library;
    }
    const std::wstring menu = Menu(package, kUserName);
    if (!IsMsi(package)) {
      EXPECT_TRUE(Exists(menu + L"\\Uninstall.lnk"));
    }
    if (Exists(Installed(L"velk_vpn.exe"))) {
      EXPECT_TRUE(Exists(menu + L"\\Velk VPN.lnk"));
    }
    EXPECT_EQ(InstalledVersions(kUserName),
              std::vector{Version("VELK_PACKAGE_VERSION")});
    EXPECT_EQ(InstallFolderRecord(), kInstallFolder);
    // Neither demonstration package installs over it.
    EXPECT_NE(Install("VELK_DEMONSTRATION_INSTALLER"), 0);
    EXPECT_NE(Install("VELK_DEMONSTRATION_MSI"), 0);
    EXPECT_FALSE(Exists(Installed(L"tunnel.dll")));

    ASSERT_TRUE(Uninstall(package));
    EXPECT_FALSE(Exists(kInstallFolder));
    EXPECT_FALSE(Exists(menu));
    EXPECT_TRUE(InstalledVersions(kUserName).empty());
    EXPECT_EQ(InstallFolderRecord(), L"");
  }
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
  ASSERT_TRUE(WriteFileBytes(velk::GetTunnelConfigPath(), kStoredConfig));
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

// For the installer and the MSI package: installs the older package, runs
// the tunnel (and the client), installs the newer package over it: the
// service keeps its registration and runs again with the replaced host, the
// client was closed, the data stays. The uninstall ends the service.
TEST(InstallerTest, UpgradeKeepsTheRunningTunnelAndUninstallEndsIt) {
  for (const auto& [older, newer] :
       {std::pair{"VELK_OLD_DEMONSTRATION_INSTALLER",
                  "VELK_DEMONSTRATION_INSTALLER"},
        std::pair{"VELK_OLD_DEMONSTRATION_MSI", "VELK_DEMONSTRATION_MSI"}}) {
    SCOPED_TRACE(newer);
    ASSERT_EQ(Install(older), 0);
    ASSERT_EQ(InstalledVersions(kDemonstrationName),
              std::vector{Version("VELK_OLD_PACKAGE_VERSION")});
    ASSERT_TRUE(WriteFileBytes(velk::GetTunnelConfigPath(), kStoredConfig));
    ASSERT_TRUE(InstallServiceForInstalledHost());
    ASSERT_TRUE(velk::StartTunnelService());
    ASSERT_TRUE(WaitForTunnelServiceState(TunnelServiceState::Running, 10000));
    const auto old_host = ProcessIds(L"tovrane_tunnel.exe");
    InstalledServiceConfig before;
    ASSERT_TRUE(ReadTunnelServiceConfig(&before));
#if VELK_PACKAGES_CARRY_THE_CLIENT
    velk::test::TestProcess client;
    ASSERT_TRUE(client.Start(Installed(L"velk_vpn.exe"), L"", kInstallFolder));
    ASSERT_TRUE(
        WaitUntil([] { return CountProcesses(L"velk_vpn.exe") == 1; }, 10000));
#endif

    ASSERT_EQ(Install(newer), 0);
    EXPECT_EQ(InstalledVersions(kDemonstrationName),
              std::vector{Version("VELK_PACKAGE_VERSION")});
    EXPECT_TRUE(WaitForTunnelServiceState(TunnelServiceState::Running, 10000));
    const auto new_host = ProcessIds(L"tovrane_tunnel.exe");
    ASSERT_TRUE(new_host && old_host);
    EXPECT_EQ(new_host->size(), 1u);
    EXPECT_NE(*new_host, *old_host);
    InstalledServiceConfig after;
    ASSERT_TRUE(ReadTunnelServiceConfig(&after));
    EXPECT_EQ(after.binary_path, before.binary_path);
    EXPECT_EQ(CountProcesses(L"velk_vpn.exe"), 0);
    EXPECT_EQ(InstallFolderRecord(), kInstallFolder);
    EXPECT_EQ(ReadFileBytes(velk::GetTunnelConfigPath()), kStoredConfig);

    ASSERT_TRUE(Uninstall(newer));
    EXPECT_FALSE(Exists(kInstallFolder));
    EXPECT_FALSE(velk::TunnelServiceExists());
    EXPECT_EQ(CountProcesses(L"tovrane_tunnel.exe"), 0);
    EXPECT_FALSE(Exists(Menu(newer, kDemonstrationName)));
    EXPECT_TRUE(InstalledVersions(kDemonstrationName).empty());
    EXPECT_EQ(InstallFolderRecord(), L"");
    EXPECT_EQ(ReadFileBytes(velk::GetTunnelConfigPath()), kStoredConfig);
  }
}

}  // namespace
}  // namespace velk::test
