#include "tunnel_host/tunnel_host_main.h"

#include <gtest/gtest.h>

#include <aclapi.h>

#include <string>

#include "tests/support/build_path.h"
#include "tests/support/fake_network.h"
#include "tests/support/scoped_variable.h"
#include "tests/support/test_process.h"
#include "tests/tunnel_host/host_folder.h"

namespace {

using velk::test::EnvironmentVariable;
using velk::test::FakeNetwork;
using velk::test::HostFolder;
using velk::test::ScopedVariable;

constexpr char kConfig[] =
    "[Interface]\r\nPrivateKey = a2V5\r\nDNS = 10.0.0.53\r\n"
    "[Peer]\r\nEndpoint = 127.0.0.1:51820\r\nAllowedIPs = 0.0.0.0/0\r\n";

// The stand-in runs as it would outside a service, without first waiting for
// Wine to refuse the service dispatcher.
constexpr char kDirectRun[] = "no_dispatcher=1\n";

// --- The program run directly ------------------------------------------------

// Wine loads its own iphlpapi.dll wherever another one lies; Windows has no
// such preference for it. For as long as this lives, the host program under
// Wine prefers a native one, as Windows would.
class NativeIpHelperFirst {
 public:
  NativeIpHelperFirst() {
    RegSetKeyValueW(HKEY_CURRENT_USER, kOverrides, L"iphlpapi", REG_SZ,
                    L"native,builtin", sizeof(L"native,builtin"));
  }
  ~NativeIpHelperFirst() {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kOverrides, L"iphlpapi");
  }

 private:
  static constexpr wchar_t kOverrides[] =
      L"Software\\Wine\\AppDefaults\\tovrane_tunnel.exe\\DllOverrides";
};

TEST(TunnelHostProgram, ExitCodesOfEveryStartFailure) {
  // A library where the host, which runs as LocalSystem, must never load it
  // from: a "tunnel.dll" that is not beside the host, or an "iphlpapi.dll"
  // beside it that is not the system's.
  enum class Planted {
    kNowhere,
    kInWorkingFolder,
    kOnPath,
    kIpHelperBesideTheHost
  };
  struct Case {
    const char* what;
    HostFolder::Library library;
    const char* config;  // null: no file
    const wchar_t* arguments;
    DWORD exit_code;
    Planted planted = Planted::kNowhere;
  };
  const Case cases[] = {
      {"configuration path alone", HostFolder::Library::kStandIn, kConfig,
       L"\"c.conf\"", 1},
      {"no arguments", HostFolder::Library::kStandIn, kConfig, L"", 1},
      {"missing file", HostFolder::Library::kStandIn, nullptr,
       L"c.conf TovraneVPN", 2},
      {"empty file", HostFolder::Library::kStandIn, "", L"c.conf TovraneVPN",
       2},
      {"two Endpoint lines", HostFolder::Library::kStandIn,
       "[Peer]\nEndpoint = 127.0.0.1:1\n[Peer]\n endpoint\t= 192.0.2.9:1\n",
       L"c.conf TovraneVPN", 2},
      {"two DNS lines", HostFolder::Library::kStandIn,
       "DNS = 10.0.0.53\r\ndns=192.0.2.53\r\n", L"c.conf TovraneVPN", 2},
      {"no tunnel.dll", HostFolder::Library::kNone, kConfig,
       L"c.conf TovraneVPN", 3},
      {"tunnel.dll only in the working folder", HostFolder::Library::kNone,
       kConfig, L"c.conf TovraneVPN", 3, Planted::kInWorkingFolder},
      {"tunnel.dll only on PATH", HostFolder::Library::kNone, kConfig,
       L"c.conf TovraneVPN", 3, Planted::kOnPath},
      {"iphlpapi.dll beside the host", HostFolder::Library::kNone, kConfig,
       L"c.conf TovraneVPN", 3, Planted::kIpHelperBesideTheHost},
      {"no entry", HostFolder::Library::kWithoutEntry, kConfig,
       L"c.conf TovraneVPN", 4},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.what);
    HostFolder folder(test_case.library);
    ASSERT_TRUE(folder.ok());
    HostFolder planted(HostFolder::Library::kStandIn);
    ASSERT_TRUE(planted.ok());
    planted.Write(L"tunnel_stand_in.ini", kDirectRun);
    std::wstring arguments = test_case.arguments;
    if (test_case.config != nullptr) {
      folder.Write(L"c.conf", test_case.config);
      if (test_case.planted != Planted::kNowhere) {
        arguments = L"\"" + folder.Path(L"c.conf") + L"\" TovraneVPN";
      }
    }
    DWORD exit_code = 0;
    if (test_case.planted == Planted::kInWorkingFolder) {
      exit_code = folder.RunHost(arguments, planted.Path(L""));
    } else if (test_case.planted == Planted::kOnPath) {
      const std::wstring path =
          planted.Path(L"") + L";" + EnvironmentVariable(L"PATH").value_or(L"");
      const ScopedVariable planted_first(L"PATH", path.c_str());
      exit_code = folder.RunHost(arguments);
    } else if (test_case.planted == Planted::kIpHelperBesideTheHost) {
      ASSERT_TRUE(folder.Plant(L"iphlpapi.dll"));
      const NativeIpHelperFirst native_first;
      exit_code = folder.RunHost(arguments);
    } else {
      exit_code = folder.RunHost(arguments);
    }
    EXPECT_EQ(exit_code, test_case.exit_code);
    // The library's transcript begins when it is loaded.
    EXPECT_FALSE(folder.Exists(L"tunnel_transcript.txt"));
    EXPECT_FALSE(planted.Exists(L"tunnel_transcript.txt"));
    EXPECT_FALSE(folder.Exists(L"iphlpapi.dll.loaded"));
  }
}

TEST(TunnelHostProgram, HandsTheFileTextAndTunnelNameToTheLibrary) {
  HostFolder folder(HostFolder::Library::kStandIn);
  ASSERT_TRUE(folder.ok());
  folder.Write(L"tunnel_stand_in.ini", kDirectRun);
  folder.Write(L"c.conf", std::string("\xEF\xBB\xBF") + kConfig);
  // The third argument is ignored.
  EXPECT_EQ(folder.RunHost(L"\"" + folder.Path(L"c.conf") +
                           L"\" \"TovraneVPN\" \"extra argument\""),
            0u);
  EXPECT_EQ(folder.ReceivedConfig(), std::string("\xEF\xBB\xBF") + kConfig);
  const std::string transcript = folder.Transcript();
  EXPECT_NE(transcript.find("tunnel name TovraneVPN\n"), std::string::npos)
      << transcript;

  folder.Write(L"cut.conf", std::string("DNS = 10.0.0.1\0[Peer]\n", 23));
  EXPECT_EQ(folder.RunHost(L"cut.conf TovraneVPN"), 0u);
  EXPECT_EQ(folder.ReceivedConfig(), "DNS = 10.0.0.1");
}

TEST(TunnelHostProgram, ExitsWithFiveWhenTheTunnelFails) {
  HostFolder folder(HostFolder::Library::kStandIn);
  ASSERT_TRUE(folder.ok());
  folder.Write(L"tunnel_stand_in.ini", std::string(kDirectRun) + "result=0\n");
  // An endpoint that resolves nowhere does not keep the tunnel from running.
  folder.Write(L"c.conf", "Endpoint = no-such-host.invalid:51820\n");
  EXPECT_EQ(folder.RunHost(L"c.conf TovraneVPN"), 5u);
  EXPECT_NE(folder.Transcript().find("returning 0\n"), std::string::npos);
}

TEST(TunnelHostProgram, RunsUntilTheLibraryReturns) {
  HostFolder folder(HostFolder::Library::kStandIn);
  ASSERT_TRUE(folder.ok());
  folder.Write(L"tunnel_stand_in.ini",
               std::string(kDirectRun) + "stop_after_ms=600\n");
  folder.Write(L"c.conf", kConfig);
  const ULONGLONG before = GetTickCount64();
  EXPECT_EQ(folder.RunHost(L"c.conf TovraneVPN"), 0u);
  EXPECT_GE(GetTickCount64() - before, 600u);
}

// The rights on `process` that its access list allows signed-in users.
ACCESS_MASK SignedInUsersRights(HANDLE process) {
  BYTE users[SECURITY_MAX_SID_SIZE];
  DWORD users_size = sizeof(users);
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!CreateWellKnownSid(WinAuthenticatedUserSid, nullptr, users,
                          &users_size) ||
      GetSecurityInfo(process, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION,
                      nullptr, nullptr, &acl, nullptr,
                      &descriptor) != ERROR_SUCCESS) {
    return 0;
  }
  ACCESS_MASK rights = 0;
  for (DWORD i = 0; acl != nullptr && i < acl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(acl, i, &ace)) continue;
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
    if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
        EqualSid(const_cast<DWORD*>(&allowed->SidStart), users)) {
      rights |= allowed->Mask;
    }
  }
  LocalFree(descriptor);
  return rights;
}

// A standard user's client waits for the LocalSystem host's process to end
// before it starts the next one: the host lets signed-in users wait for it,
// and do nothing else with it.
TEST(TunnelHostProgram, LetsSignedInUsersWaitForItsEnd) {
  HostFolder folder(HostFolder::Library::kStandIn);
  ASSERT_TRUE(folder.ok());
  folder.Write(L"tunnel_stand_in.ini",
               std::string(kDirectRun) + "stop_after_ms=3000\n");
  folder.Write(L"c.conf", kConfig);
  velk::test::TestProcess host;
  ASSERT_TRUE(
      host.Start(folder.host_path(), L"c.conf TovraneVPN", folder.Path(L".")));
  ACCESS_MASK rights = 0;
  for (int poll = 0; poll < 50 && rights == 0; ++poll) {
    Sleep(100);
    rights = SignedInUsersRights(host.handle());
  }
  EXPECT_EQ(rights, static_cast<ACCESS_MASK>(SYNCHRONIZE));
  EXPECT_EQ(host.Wait(10000), 0);
}

// The whole run in this process, against a fake network: the keepers work
// while the tunnel runs and are stopped even when it fails.
TEST(RunTunnelHost, StopsTheKeepersWhateverTheTunnelReturns) {
  FakeNetwork network;
  network.AddInterface({1, L"Ethernet", true, true, 10, {}});
  network.AddInterface({2, L"TovraneVPN", true, true, 5, {}});
  network.AddDefaultRoute(1, L"10.0.0.1", 0);
  HostFolder folder(HostFolder::Library::kStandIn);
  ASSERT_TRUE(folder.ok());
  folder.Write(L"tunnel_stand_in.ini",
               std::string(kDirectRun) + "stop_after_ms=1500\nresult=0\n");
  folder.Write(L"c.conf", "DNS = 10.0.0.53\nEndpoint = 192.0.2.7:51820\n");
  const std::wstring command_line =
      L"host \"" + folder.Path(L"c.conf") + L"\" TovraneVPN";

  EXPECT_EQ(velk::RunTunnelHost(command_line.c_str(),
                                folder.Path(L"tunnel.dll").c_str(),
                                network.Functions()),
            5);
  const FakeNetwork::Counters counters = network.counters();
  EXPECT_EQ(counters.route_writes, 1);
  EXPECT_EQ(counters.route_deletions, 1);
  EXPECT_EQ(counters.active_registrations, 0);
  EXPECT_TRUE(network.HostRoutes().empty());
  ASSERT_EQ(network.DnsCalls().size(), 1u);
  EXPECT_EQ(network.DnsCalls()[0].name_servers, L"10.0.0.53");
}

// What the network looked like when the tunnel library's entry was called.
struct TunnelStartView {
  bool called = false;
  size_t host_routes = 0;
  int active_registrations = 0;
};
FakeNetwork* g_probed_network = nullptr;
TunnelStartView g_tunnel_start;

BOOL LookAtNetworkAtTunnelStart(const wchar_t* /*config_text*/,
                                const wchar_t* /*tunnel_name*/) {
  g_tunnel_start.called = true;
  g_tunnel_start.host_routes = g_probed_network->HostRoutes().size();
  g_tunnel_start.active_registrations =
      g_probed_network->counters().active_registrations;
  return TRUE;
}

// The tunnel's own routes must not capture the endpoint's traffic: the host
// route is in place, and followed, before the tunnel library runs.
TEST(RunTunnelHost, InstallsTheHostRouteBeforeTheTunnelStarts) {
  FakeNetwork network;
  network.AddInterface({1, L"Ethernet", true, true, 10, {}});
  network.AddDefaultRoute(1, L"10.0.0.1", 0);
  HostFolder folder(HostFolder::Library::kNone);
  ASSERT_TRUE(folder.ok());
  folder.Write(L"c.conf", "Endpoint = 192.0.2.7:51820\n");
  const std::wstring library = velk::test::WindowsPathOf(VELK_TUNNEL_PROBE_DLL);
  HMODULE probe = LoadLibraryW(library.c_str());
  ASSERT_NE(probe, nullptr);
  using SetProbe = void (*)(BOOL(*)(const wchar_t*, const wchar_t*));
  const auto set_probe = reinterpret_cast<SetProbe>(
      reinterpret_cast<void*>(GetProcAddress(probe, "SetTunnelProbe")));
  ASSERT_NE(set_probe, nullptr);
  g_probed_network = &network;
  g_tunnel_start = TunnelStartView();
  set_probe(&LookAtNetworkAtTunnelStart);

  const std::wstring command_line =
      L"host \"" + folder.Path(L"c.conf") + L"\" TovraneVPN";
  EXPECT_EQ(velk::RunTunnelHost(command_line.c_str(), library.c_str(),
                                network.Functions()),
            0);
  set_probe(nullptr);
  g_probed_network = nullptr;
  FreeLibrary(probe);

  EXPECT_TRUE(g_tunnel_start.called);
  EXPECT_EQ(g_tunnel_start.host_routes, 1u);
  EXPECT_EQ(g_tunnel_start.active_registrations, 1);
  EXPECT_TRUE(network.HostRoutes().empty());
}

}  // namespace
