// The road of a connect, whole: the real velk_vpn.exe with the stand-in
// interface playing a script, its elevated setup copy started through
// "runas", Wine's service control manager running the real
// tovrane_tunnel.exe with the stand-in tunnel.dll, and the peer on the far
// side of the tunnel interface. Each case runs on a road of its own
// (road.sh), from a clean machine, and is checked through the interface's
// transcript (statuses in order, replies byte for byte) and the system state
// (the stored file, the service, the processes, the temporary folder).

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "client/provisioning/current_user.h"
#include "client/provisioning/tunnel_data_folder.h"
#include "client/provisioning/tunnel_service.h"
#include "interfaces/vpn_channels.h"
#include "tests/provisioning/service_test_support.h"
#include "tests/support/hex.h"
#include "tests/system/road_client.h"
#include "tests/system/road_machine.h"

namespace velk::test {
namespace {

using velk::TunnelServiceState;

// The demonstration settings of the road: its endpoint is the peer.
constexpr char kSettings[] =
    "# the road's tunnel\n"
    "private_key=Z3KpuaVp1gAcgJt4teAHRkfZWj87We019yA3a7Evm0g=\n"
    "public_key=aQrwXN088WZwUjgbPv2SjxWanNLiB4zqAHAgm1Ds3vs=\n"
    "endpoint=10.77.0.1:51820\n"
    "allowed_ip=10.77.0.0/24\n"
    "address=10.77.0.2/32\n"
    "dns=10.77.0.53\n"
    "mtu=1380\n";

// What the client stores for kSettings, byte for byte.
constexpr char kConfigText[] =
    "[Interface]\n"
    "PrivateKey = Z3KpuaVp1gAcgJt4teAHRkfZWj87We019yA3a7Evm0g=\n"
    "Address = 10.77.0.2/32\n"
    "DNS = 10.77.0.53\n"
    "MTU = 1380\n"
    "Jc = 4\nJmin = 10\nJmax = 50\nS1 = 40\nS2 = 146\n"
    "H1 = 1\nH2 = 2\nH3 = 3\nH4 = 4\n"
    "\n"
    "[Peer]\n"
    "PublicKey = aQrwXN088WZwUjgbPv2SjxWanNLiB4zqAHAgm1Ds3vs=\n"
    "AllowedIPs = 10.77.0.0/24\n"
    "Endpoint = 10.77.0.1:51820\n"
    "PersistentKeepalive = 25\n";

// Other settings for the same peer: the private key in hexadecimal, another
// MTU and DNS server, two allowed ranges.
constexpr char kOtherSettings[] =
    "private_key=6772A9B9A569D6001C809B78B5E0074647D95A3F"
    "3b59ed35f720376bb12f9b48\n"
    "public_key=aQrwXN088WZwUjgbPv2SjxWanNLiB4zqAHAgm1Ds3vs=\n"
    "endpoint=10.77.0.1:51820\n"
    "allowed_ip=10.77.0.0/24\n"
    "allowed_ip=10.78.0.0/16\n"
    "address=10.77.0.2/32\n"
    "dns=10.77.0.54\n"
    "mtu=1400\n";

constexpr char kOtherConfigText[] =
    "[Interface]\n"
    "PrivateKey = Z3KpuaVp1gAcgJt4teAHRkfZWj87We019yA3a7Evm0g=\n"
    "Address = 10.77.0.2/32\n"
    "DNS = 10.77.0.54\n"
    "MTU = 1400\n"
    "Jc = 4\nJmin = 10\nJmax = 50\nS1 = 40\nS2 = 146\n"
    "H1 = 1\nH2 = 2\nH3 = 3\nH4 = 4\n"
    "\n"
    "[Peer]\n"
    "PublicKey = aQrwXN088WZwUjgbPv2SjxWanNLiB4zqAHAgm1Ds3vs=\n"
    "AllowedIPs = 10.77.0.0/24,10.78.0.0/16\n"
    "Endpoint = 10.77.0.1:51820\n"
    "PersistentKeepalive = 25\n";

// Replies and statuses on the wire (standard method codec envelopes).
const std::string kSuccessWithoutValue("\x00\x00", 2);
const std::string kConnectedReply =
    std::string("\x00\x07\x09", 3) + "connected";

using vpn_channels::kStatusConnected;
using vpn_channels::kStatusConnecting;
using vpn_channels::kStatusDisconnected;
constexpr const char* kNoHandshake = vpn_channels::kStatusNoHandshake;
constexpr const char* kServiceFailed = vpn_channels::kStatusServiceSetupFailed;
const std::string kStoppedWithCodeFive =
    std::string(vpn_channels::kStatusServiceStoppedStart) + "5" +
    vpn_channels::kStatusServiceStoppedEnd;

// Connects and closes the client once the tunnel carries traffic.
constexpr char kConnectScript[] =
    "listen\n"
    "call connect demo\n"
    "wait status connected 30000\n"
    "wait replies 10000\n"
    "close\n";

// Connects and closes the client once the attempt has failed.
constexpr char kFailingConnectScript[] =
    "listen\n"
    "call connect demo\n"
    "wait status-prefix \"error:\" 45000\n"
    "wait replies 10000\n"
    "close\n";

const std::wstring kServiceCommandLine =
    L"\"C:\\Program Files\\Velk VPN\\tovrane_tunnel.exe\" "
    L"\"C:\\ProgramData\\TovraneVPN\\tovranevpn.conf\" \"TovraneVPN\"";

int64_t NowSince1970Ms() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const uint64_t ticks =
      (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return static_cast<int64_t>(ticks / 10000) - 11644473600000LL;
}

std::optional<std::string> StoredConfig() {
  return ReadFileBytes(velk::GetTunnelConfigPath());
}

std::vector<DWORD> HostProcesses() {
  return ProcessIds(L"tovrane_tunnel.exe")
      .value_or(std::vector<DWORD>{0xFFFFFFFF});
}

bool HostGone() {
  return WaitUntil([] { return CountProcesses(L"tovrane_tunnel.exe") == 0; },
                   10000);
}

// The service stopped with `code` and its host process is gone.
void ExpectStoppedWithCode(uint32_t code) {
  uint32_t exit_code = code + 1;
  EXPECT_EQ(velk::QueryTunnelServiceState(&exit_code),
            TunnelServiceState::Stopped);
  EXPECT_EQ(exit_code, code);
  EXPECT_TRUE(HostGone());
}

// "connecting" first, then nothing but "connecting" until the first
// "connected", and nothing but "connected" from there on.
testing::AssertionResult ConnectingThenConnected(
    const std::vector<std::string>& statuses) {
  const auto connected =
      std::find(statuses.begin(), statuses.end(), kStatusConnected);
  if (statuses.empty() || statuses.front() != kStatusConnecting ||
      connected == statuses.end() ||
      !std::all_of(
          statuses.begin(), connected,
          [](const std::string& s) { return s == kStatusConnecting; }) ||
      !std::all_of(connected, statuses.end(), [](const std::string& s) {
        return s == kStatusConnected;
      })) {
    testing::AssertionResult failure = testing::AssertionFailure();
    for (const std::string& status : statuses) failure << status << " | ";
    return failure;
  }
  return testing::AssertionSuccess();
}

class RoadClientTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(ProgramFolder().empty()) << "run through tests/system/road.sh";
    ASSERT_FALSE(velk::TunnelServiceExists()) << "not a clean machine";
  }

  // Runs the client; the run must end by itself with the script done.
  static ClientRun Run(const std::string& script,
                       const std::string& settings = kSettings) {
    ClientRun run = RunClient(script, settings);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_TRUE(run.transcript_read);
    EXPECT_TRUE(run.transcript.ScriptDone());
    EXPECT_EQ(run.transcript.Failures(), std::vector<std::string>());
    return run;
  }

  static void ExpectServiceInstalledForThisFolder() {
    InstalledServiceConfig config;
    ASSERT_TRUE(ReadTunnelServiceConfig(&config));
    EXPECT_EQ(config.binary_path, kServiceCommandLine);
    EXPECT_EQ(config.service_type,
              static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(config.start_type, static_cast<DWORD>(SERVICE_DEMAND_START));
  }
};

TEST_F(RoadClientTest, FirstConnectOnACleanMachine) {
  const int64_t started_ms = NowSince1970Ms();
  const ClientRun run =
      Run("listen\n"
          "call connect demo\n"
          "wait status connected 30000\n"
          "wait replies 10000\n"
          "call getConnectedSince\n"
          "wait replies 5000\n"
          "sleep 1500\n"
          "call getConnectedSince\n"
          "wait replies 5000\n"
          "close\n");
  const UiTranscript& ui = run.transcript;

  EXPECT_TRUE(ConnectingThenConnected(ui.Statuses()));
  EXPECT_EQ(ui.Replies(vpn_channels::kConnect),
            std::vector{kSuccessWithoutValue});
  // The panel asks too, whenever it turns to "connected": every answer is
  // the same moment, between the start and now.
  const std::vector<std::string> since =
      ui.Replies(vpn_channels::kGetConnectedSince);
  ASSERT_GE(since.size(), 3u);
  for (const std::string& reply : since) EXPECT_EQ(reply, since.front());
  const std::optional<int64_t> since_ms = DecodeInt64Success(since.front());
  ASSERT_TRUE(since_ms.has_value()) << ToHex(since.front());
  EXPECT_GE(*since_ms, started_ms);
  EXPECT_LE(*since_ms, NowSince1970Ms());

  // The elevated setup ran beside the client and took its file along.
  EXPECT_EQ(run.most_clients_at_once, 2);
  EXPECT_EQ(TemporaryHandOffFiles(), 0);
  EXPECT_EQ(StoredConfig(), kConfigText);
  ExpectServiceInstalledForThisFolder();
  // Closing the client leaves the tunnel running.
  EXPECT_EQ(velk::QueryTunnelServiceState(), TunnelServiceState::Running);
  EXPECT_EQ(HostProcesses().size(), 1u);
}

TEST_F(RoadClientTest, SecondConnectRestartsTheServiceDirectly) {
  Run(kConnectScript);
  const std::vector<DWORD> first_host = HostProcesses();
  ASSERT_EQ(first_host.size(), 1u);

  const ClientRun second = Run(kConnectScript, kOtherSettings);
  EXPECT_TRUE(ConnectingThenConnected(second.transcript.Statuses()));
  EXPECT_EQ(second.transcript.Replies(vpn_channels::kConnect),
            std::vector{kSuccessWithoutValue});
  EXPECT_EQ(second.most_clients_at_once, 1) << "no setup this time";
  EXPECT_EQ(StoredConfig(), kOtherConfigText);
  const std::vector<DWORD> second_host = HostProcesses();
  ASSERT_EQ(second_host.size(), 1u);
  EXPECT_NE(second_host, first_host) << "the service was restarted";
  EXPECT_EQ(velk::QueryTunnelServiceState(), TunnelServiceState::Running);
  ExpectServiceInstalledForThisFolder();
  EXPECT_EQ(TemporaryHandOffFiles(), 0);
}

// The peer never answers (road.sh --peer=silent).
// road: PEER silent LABELS slow
TEST_F(RoadClientTest, SilentPeerEndsInTheNoHandshakeError) {
  const ClientRun run =
      Run("listen\n"
          "call connect demo\n"
          "wait status-prefix \"error:\" 45000\n"
          "wait replies 5000\n"
          "call getConnectedSince\n"
          "wait replies 5000\n"
          "close\n");
  const UiTranscript& ui = run.transcript;
  const auto statuses = ui.TimedStatuses();
  ASSERT_GE(statuses.size(), 2u);
  EXPECT_EQ(statuses.back().second, kNoHandshake);
  std::vector<int64_t> connecting_times;
  for (size_t i = 0; i + 1 < statuses.size(); ++i) {
    EXPECT_EQ(statuses[i].second, kStatusConnecting) << i;
    connecting_times.push_back(statuses[i].first);
  }
  // One from the connect work, then one a second for 30 s of monitoring.
  EXPECT_GE(connecting_times.size(), 28u);
  EXPECT_LE(connecting_times.size(), 34u);
  const int64_t connect_call_ms = ui.CallTime(vpn_channels::kConnect);
  EXPECT_GE(statuses.back().first - connect_call_ms, 30000);
  EXPECT_LE(statuses.back().first - connect_call_ms, 40000);
  const int64_t mean_gap_ms = (connecting_times.back() - connecting_times[1]) /
                              static_cast<int64_t>(connecting_times.size() - 2);
  EXPECT_NEAR(mean_gap_ms, 1000, 150);

  EXPECT_EQ(ui.Replies(vpn_channels::kGetConnectedSince),
            std::vector{kSuccessWithoutValue});
  // The monitor stopped the tunnel; it did try: the peer saw its datagrams,
  // and the interface received nothing at all.
  EXPECT_EQ(velk::QueryTunnelServiceState(), TunnelServiceState::Stopped);
  EXPECT_TRUE(HostGone());
  EXPECT_GE(PeerDatagramsSeen(), 25);
  EXPECT_EQ(TunnelReceivedBytes(), std::optional<uint64_t>(0));
}

// The user presses Connect again 5 s after the first connect, the peer
// silent (road.sh --peer=silent): the second connection has its own 30 s,
// the error comes once, and nothing from the first connection follows it.
// road: PEER silent LABELS slow
TEST_F(RoadClientTest, ConnectTwiceAgainstASilentPeerEndsInOneError) {
  const ClientRun run =
      Run("listen\n"
          "call connect demo\n"
          "wait replies 30000\n"
          "sleep 5000\n"
          "call connect demo\n"
          "wait status-prefix \"error:\" 45000\n"
          "wait replies 5000\n"
          "sleep 3000\n"
          "close\n");
  const UiTranscript& ui = run.transcript;
  EXPECT_EQ(ui.Replies("connect"),
            std::vector<std::string>(2, kSuccessWithoutValue));
  const auto statuses = ui.TimedStatuses();
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.back().second, kNoHandshake);
  for (size_t i = 0; i + 1 < statuses.size(); ++i) {
    EXPECT_EQ(statuses[i].second, "connecting") << i;
  }
  const int64_t second_call_ms = ui.CallTime("connect", 1);
  EXPECT_GE(statuses.back().first - second_call_ms, 30000);
  EXPECT_LE(statuses.back().first - second_call_ms, 40000);
  EXPECT_EQ(velk::QueryTunnelServiceState(), TunnelServiceState::Stopped);
  EXPECT_TRUE(HostGone());
}

TEST_F(RoadClientTest, ServiceStoppingWithCodeFiveIsReported) {
  ASSERT_TRUE(WriteFileBytes(InProgramFolder(L"tunnel_stand_in.ini"),
                             "exit_code=5\nstop_after_ms=4000\n"));
  const ClientRun run =
      Run("listen\n"
          "call connect demo\n"
          "wait status connected 30000\n"
          "wait status-prefix \"error:\" 30000\n"
          "wait replies 5000\n"
          "call getConnectedSince\n"
          "wait replies 5000\n"
          "close\n");
  std::vector<std::string> statuses = run.transcript.Statuses();
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.back(), kStoppedWithCodeFive);
  statuses.pop_back();
  EXPECT_TRUE(ConnectingThenConnected(statuses));
  // The monitor has finished: connected-since is cleared.
  EXPECT_EQ(run.transcript.Replies(vpn_channels::kGetConnectedSince).back(),
            kSuccessWithoutValue);
  ExpectStoppedWithCode(5);
}

TEST_F(RoadClientTest, DisconnectWhileConnected) {
  const ClientRun run =
      Run("listen\n"
          "call connect demo\n"
          "wait status connected 30000\n"
          "wait replies 10000\n"
          "call disconnect\n"
          "wait status disconnected 5000\n"
          "wait status disconnected 5000\n"
          "wait replies 5000\n"
          "call getConnectedSince\n"
          "wait replies 5000\n"
          "close\n");
  const UiTranscript& ui = run.transcript;
  EXPECT_EQ(ui.Replies(vpn_channels::kDisconnect),
            std::vector{kSuccessWithoutValue});
  const int64_t disconnect_ms = ui.CallTime(vpn_channels::kDisconnect);
  const auto after = ui.TimedStatuses(vpn_channels::kDisconnect);
  // "disconnected" at once, then again from the monitor when its next poll
  // finds the service stopped. A poll already under way when the stop was
  // asked for may still report "connected" in between.
  ASSERT_GE(after.size(), 2u);
  EXPECT_EQ(after.front().second, kStatusDisconnected);
  EXPECT_LT(after.front().first - disconnect_ms, 500);
  EXPECT_EQ(after.back().second, kStatusDisconnected);
  EXPECT_LE(after.size(), 3u);
  EXPECT_EQ(ui.Replies(vpn_channels::kGetConnectedSince).back(),
            kSuccessWithoutValue);

  ExpectStoppedWithCode(0);
  EXPECT_EQ(StoredConfig(), kConfigText);
}

TEST_F(RoadClientTest, ClientStartedAgainFindsTheRunningTunnel) {
  Run(kConnectScript);
  const std::vector<DWORD> host = HostProcesses();
  ASSERT_EQ(host.size(), 1u);

  const ClientRun again =
      Run("listen\n"
          "call getStatus\n"
          "wait replies 5000\n"
          "wait status connected 5000\n"
          "call getConnectedSince\n"
          "wait replies 5000\n"
          "close\n");
  const UiTranscript& ui = again.transcript;
  EXPECT_EQ(ui.Replies(vpn_channels::kGetStatus), std::vector{kConnectedReply});
  // The monitor resumed: it reports, and it has set connected-since.
  const std::vector<std::string> statuses = ui.Statuses();
  ASSERT_FALSE(statuses.empty());
  EXPECT_TRUE(
      std::all_of(statuses.begin(), statuses.end(),
                  [](const std::string& s) { return s == kStatusConnected; }));
  EXPECT_TRUE(
      DecodeInt64Success(ui.Replies(vpn_channels::kGetConnectedSince).back())
          .has_value());
  EXPECT_EQ(again.most_clients_at_once, 1);
  EXPECT_EQ(HostProcesses(), host) << "the tunnel was not restarted";
}

TEST_F(RoadClientTest, ConfigurationErrorTouchesNeitherServiceNorFile) {
  const std::string without_private_key =
      "public_key=aQrwXN088WZwUjgbPv2SjxWanNLiB4zqAHAgm1Ds3vs=\n"
      "endpoint=10.77.0.1:51820\n";
  const ClientRun on_clean_machine =
      Run(kFailingConnectScript, without_private_key);
  EXPECT_EQ(
      on_clean_machine.transcript.Statuses(),
      (std::vector<std::string>{
          kStatusConnecting, "error:Некорректный PrivateKey в конфигурации"}));
  EXPECT_EQ(on_clean_machine.transcript.Replies(vpn_channels::kConnect),
            std::vector{kSuccessWithoutValue});
  EXPECT_EQ(on_clean_machine.most_clients_at_once, 1);
  EXPECT_FALSE(velk::TunnelServiceExists());
  EXPECT_FALSE(StoredConfig().has_value());

  Run(kConnectScript);
  const std::vector<DWORD> host = HostProcesses();
  ASSERT_EQ(host.size(), 1u);
  const std::string without_endpoint =
      "private_key=Z3KpuaVp1gAcgJt4teAHRkfZWj87We019yA3a7Evm0g=\n"
      "public_key=aQrwXN088WZwUjgbPv2SjxWanNLiB4zqAHAgm1Ds3vs=\n";
  const ClientRun while_connected =
      Run(kFailingConnectScript, without_endpoint);
  EXPECT_EQ(while_connected.transcript.Statuses(),
            (std::vector<std::string>{
                kStatusConnecting, "error:В конфигурации не указан Endpoint"}));
  EXPECT_EQ(HostProcesses(), host);
  EXPECT_EQ(velk::QueryTunnelServiceState(), TunnelServiceState::Running);
  EXPECT_EQ(StoredConfig(), kConfigText);

  // An address that would add a second Endpoint line to the stored text.
  const ClientRun line_feed_in_address =
      Run("listen\n"
          "call connect {\"settings\": \"private_key="
          "Z3KpuaVp1gAcgJt4teAHRkfZWj87We019yA3a7Evm0g=\\npublic_key="
          "aQrwXN088WZwUjgbPv2SjxWanNLiB4zqAHAgm1Ds3vs=\\nendpoint="
          "10.77.0.1:51820\", \"address\": \"10.77.0.2/32\\nEndpoint = "
          "10.77.0.9:51820\", \"dns\": \"10.77.0.53\", \"mtu\": 1380}\n"
          "wait status-prefix \"error:\" 45000\n"
          "wait replies 10000\n"
          "close\n");
  EXPECT_EQ(line_feed_in_address.transcript.Statuses(),
            (std::vector<std::string>{
                "connecting",
                "error:Недопустимый символ в поле Address конфигурации"}));
  EXPECT_EQ(line_feed_in_address.most_clients_at_once, 1);
  EXPECT_EQ(HostProcesses(), host);
  EXPECT_EQ(StoredConfig(), kConfigText);
}

TEST_F(RoadClientTest, SetupThatCannotStoreTheFileFailsWithoutLeftovers) {
  // A file where the data folder belongs: setup cannot create the stored
  // configuration in it (root ignores Windows access lists under Wine, so
  // an unwritable folder cannot be had).
  const std::string blocker = "not a folder\n";
  ASSERT_TRUE(WriteFileBytes(velk::GetTunnelDataFolder(), blocker));
  const ClientRun run = Run(kFailingConnectScript);
  EXPECT_EQ(run.transcript.Statuses(),
            (std::vector<std::string>{kStatusConnecting, kServiceFailed}));
  EXPECT_EQ(run.transcript.Replies(vpn_channels::kConnect),
            std::vector{kSuccessWithoutValue});
  EXPECT_EQ(run.most_clients_at_once, 2) << "the setup ran";
  EXPECT_EQ(TemporaryHandOffFiles(), 0);
  EXPECT_FALSE(velk::TunnelServiceExists());
  EXPECT_EQ(ReadFileBytes(velk::GetTunnelDataFolder()), blocker);
}

TEST_F(RoadClientTest, HostWithoutTunnelLibraryFailsTheConnect) {
  // The host ends with its own code 3 before the service control manager
  // hears from it, so the start fails: the setup reports it, and the client
  // shows the failure to set up or start the service.
  ASSERT_TRUE(DeleteFileW(InProgramFolder(L"tunnel.dll").c_str()));
  const ClientRun run = Run(kFailingConnectScript);
  EXPECT_EQ(run.transcript.Statuses(),
            (std::vector<std::string>{kStatusConnecting, kServiceFailed}));
  EXPECT_EQ(run.most_clients_at_once, 2);
  EXPECT_EQ(TemporaryHandOffFiles(), 0);
  EXPECT_EQ(StoredConfig(), kConfigText);
  ExpectServiceInstalledForThisFolder();
  EXPECT_EQ(velk::QueryTunnelServiceState(), TunnelServiceState::Stopped);
  EXPECT_TRUE(HostGone());
}

// The peer answers for 3 s and then never again (road.sh
// --peer-silent-after=3). Once the tunnel has carried traffic the monitor
// no longer looks at the counters: while the service runs, the status stays
// "connected".
// road: ROAD_ARGS --peer-silent-after=3
TEST_F(RoadClientTest, PeerFallingSilentLeavesTheStatusConnected) {
  const ClientRun run =
      Run("listen\n"
          "call connect demo\n"
          "wait status connected 30000\n"
          "sleep 8000\n"
          "call getStatus\n"
          "wait replies 5000\n"
          "close\n");
  const std::vector<std::string> statuses = run.transcript.Statuses();
  EXPECT_TRUE(ConnectingThenConnected(statuses));
  EXPECT_GE(std::count(statuses.begin(), statuses.end(), kStatusConnected), 7);
  EXPECT_EQ(run.transcript.Replies(vpn_channels::kGetStatus),
            std::vector{kConnectedReply});
  const std::string peer_log = ReadFileBytes(PeerLogPath()).value_or("");
  EXPECT_GE(PeerDatagramsIgnored(), 4) << peer_log;
  EXPECT_EQ(velk::QueryTunnelServiceState(), TunnelServiceState::Running);
}

// road: TIMEOUT 300 LABELS slow
TEST_F(RoadClientTest, FiftyRoundsLeaveNothingBehind) {
  std::string script = "listen\n";
  for (int round = 0; round < 50; ++round) {
    script +=
        "call connect demo\n"
        "wait replies 30000\n"
        "call disconnect\n"
        "wait replies 5000\n";
  }
  script += "sleep 2000\nclose\n";
  const ClientRun run = Run(script);
  const UiTranscript& ui = run.transcript;
  EXPECT_EQ(ui.Replies(vpn_channels::kConnect),
            std::vector<std::string>(50, kSuccessWithoutValue));
  EXPECT_EQ(ui.Replies(vpn_channels::kDisconnect),
            std::vector<std::string>(50, kSuccessWithoutValue));
  for (const std::string& status : ui.Statuses()) {
    EXPECT_EQ(status.rfind(vpn_channels::kStatusErrorPrefix, 0),
              std::string::npos)
        << status;
  }
  EXPECT_TRUE(HostGone());
  EXPECT_EQ(CountProcesses(L"velk_vpn.exe"), 0);
  EXPECT_EQ(TemporaryHandOffFiles(), 0);
  EXPECT_EQ(StoredConfig(), kConfigText);
  EXPECT_EQ(velk::QueryTunnelServiceState(), TunnelServiceState::Stopped);
}

}  // namespace
}  // namespace velk::test
