// The tunnel host under Wine's service control manager on a machine with a
// tunnel interface: the real tovrane_tunnel.exe and the stand-in tunnel.dll
// in the program folder, the service installed with the client's own
// service management, and the peer on the far side of the interface. Run by
// road.sh, which gives the program its namespace, device and prefix.

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "client/provisioning/current_user.h"
#include "client/provisioning/tunnel_data_folder.h"
#include "client/provisioning/tunnel_service.h"
#include "tests/provisioning/service_test_support.h"
#include "tests/system/road_machine.h"

namespace velk::test {
namespace {

using velk::TunnelServiceState;

constexpr char kConfig[] =
    "[Interface]\nPrivateKey = a2V5\nAddress = 10.77.0.2/32\n"
    "DNS = 10.77.0.53\n\n[Peer]\nPublicKey = a2V5\n"
    "AllowedIPs = 0.0.0.0/0\nEndpoint = 10.77.0.1:51820\n";

class RoadWithoutClientTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(ProgramFolder().empty()) << "run through tests/system/road.sh";
    ASSERT_TRUE(TunnelReceivedBytes().has_value())
        << "no tunnel interface on this machine";
    (void)CreateDirectoryW(velk::GetTunnelDataFolder().c_str(),
                           nullptr);  // may exist
    ASSERT_TRUE(WriteFileBytes(velk::GetTunnelConfigPath(), kConfig));
    const velk::CurrentUser user = velk::QueryCurrentUser();
    ASSERT_FALSE(user.empty());
    ASSERT_TRUE(
        velk::InstallTunnelService(velk::GetTunnelConfigPath(), user.sid()));
  }

  void TearDown() override { EXPECT_TRUE(RemoveTunnelService()); }

  static uint64_t Received() { return TunnelReceivedBytes().value_or(0); }
};

// road: PEER silent
TEST_F(RoadWithoutClientTest, TheInterfaceCountsOnlyWhatThePeerAnswers) {
  ASSERT_TRUE(SetPeerAnswering(false));
  const uint64_t before = Received();
  ASSERT_TRUE(velk::StartTunnelService());
  ASSERT_TRUE(WaitForTunnelServiceState(TunnelServiceState::Running, 10000));
  EXPECT_EQ(CountProcesses(L"tovrane_tunnel.exe"), 1);

  // The stand-in greets the endpoint through the device once a second; a
  // silent peer leaves the received bytes exactly where they were.
  ASSERT_TRUE(WaitUntil([] { return PeerDatagramsSeen() >= 2; }, 5000));
  EXPECT_EQ(Received(), before);

  ASSERT_TRUE(SetPeerAnswering(true));
  EXPECT_TRUE(WaitUntil([&] { return Received() > before; }, 3000));

  ASSERT_TRUE(velk::StopTunnelService());
  ASSERT_TRUE(WaitForTunnelServiceState(TunnelServiceState::Stopped, 10000));
  uint32_t exit_code = 1;
  EXPECT_EQ(velk::QueryTunnelServiceState(&exit_code),
            TunnelServiceState::Stopped);
  EXPECT_EQ(exit_code, 0u);
  EXPECT_TRUE(WaitUntil(
      [] { return CountProcesses(L"tovrane_tunnel.exe") == 0; }, 5000));
}

}  // namespace
}  // namespace velk::test
