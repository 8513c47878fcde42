// The real tovrane_tunnel.exe run as the tunnel service by Wine's service
// control manager, with the stand-in tunnel.dll beside it. The service is
// installed with the client's own service management, so the command line
// is the one the client writes. Host and library sit beside this program
// (the client folder of the command line); the stand-in's knob file and
// transcript there are shared by the cases, which the service lock keeps
// from running at the same time.

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/provisioning/current_user.h"
#include "client/provisioning/tunnel_service.h"
#include "tests/provisioning/service_test_support.h"
#include "tests/tunnel_host/host_folder.h"
#include "win/program_path.h"
#include "win/scoped_socket.h"
#include "win/whole_file.h"
#include "win/winsock.h"

namespace {

using velk::TunnelServiceState;
using velk::test::HostFolder;

std::wstring BesideThisProgram(const std::wstring& name) {
  return velk::GetProgramFolder() + L"\\" + name;
}

std::string ReadBeside(const std::wstring& name) {
  std::string bytes;
  (void)velk::ReadWholeFile(BesideThisProgram(name), &bytes);
  return bytes;
}

class TunnelHostServiceTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(record_.ok());
    ASSERT_TRUE(config_folder_.ok());
    // Another suite may have left its own service of this name.
    ASSERT_TRUE(velk::test::RemoveTunnelService());
    (void)DeleteFileW(BesideThisProgram(L"tunnel_transcript.txt").c_str());
    (void)DeleteFileW(BesideThisProgram(L"tunnel_config_received.txt").c_str());
  }

  void TearDown() override {
    EXPECT_TRUE(velk::test::RemoveTunnelService());
    (void)DeleteFileW(BesideThisProgram(L"tunnel_stand_in.ini").c_str());
  }

  void SetKnobs(const std::string& knobs) {
    ASSERT_TRUE(
        velk::WriteWholeFile(BesideThisProgram(L"tunnel_stand_in.ini"), knobs));
  }

  // Installs the service for a configuration file with `config` in it.
  void Install(const std::string& config) {
    config_folder_.Write(L"tovranevpn.conf", config);
    const velk::CurrentUser user = velk::QueryCurrentUser();
    ASSERT_FALSE(user.empty());
    ASSERT_TRUE(velk::InstallTunnelService(
        config_folder_.Path(L"tovranevpn.conf"), user.sid()));
  }

  // Waits until the transcript holds `line`.
  static bool WaitForTranscriptLine(const std::string& line) {
    const ULONGLONG deadline =
        GetTickCount64() + velk::test::kServiceDeadlineMs;
    while (ReadBeside(L"tunnel_transcript.txt").find(line + "\n") ==
           std::string::npos) {
      if (GetTickCount64() > deadline) return false;
      Sleep(20);
    }
    return true;
  }

  // The host beside this program is the service's, as if installed.
  velk::test::ScopedInstallRecord record_{velk::GetProgramFolder()};
  HostFolder config_folder_{HostFolder::Library::kNone};
};

// A UDP socket on the loopback interface that plays the tunnel's peer.
class FakePeer {
 public:
  FakePeer() : socket_(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(socket_.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address));
    int length = sizeof(address);
    getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    DWORD timeout_ms = velk::test::kServiceDeadlineMs;
    setsockopt(socket_.get(), SOL_SOCKET, SO_RCVTIMEO,
               reinterpret_cast<const char*>(&timeout_ms), sizeof(timeout_ms));
  }

  int port() const { return port_; }
  std::string Receive() {
    char buffer[256];
    const int received = recv(socket_.get(), buffer, sizeof(buffer), 0);
    return received > 0 ? std::string(buffer, received) : std::string();
  }

 private:
  // Declared first: sockets need Windows Sockets started, and closed before
  // it ends.
  const velk::ScopedWinsock winsock_;
  velk::ScopedSocket socket_;
  int port_ = 0;
};

TEST_F(TunnelHostServiceTest, RunsUntilStoppedAndReportsTheLibrarysExitCode) {
  FakePeer peer;
  const std::string config =
      "[Interface]\r\nPrivateKey = a2V5\r\nDNS = 10.0.0.53\r\n[Peer]\r\n"
      "Endpoint = 127.0.0.1:" +
      std::to_string(peer.port()) + "\r\nAllowedIPs = 0.0.0.0/0\r\n";
  SetKnobs("exit_code=7\n");
  Install(config);
  EXPECT_EQ(
      velk::BuildServiceCommandLine(config_folder_.Path(L"tovranevpn.conf")),
      L"\"" + BesideThisProgram(L"tovrane_tunnel.exe") + L"\" \"" +
          config_folder_.Path(L"tovranevpn.conf") + L"\" \"TovraneVPN\"");

  ASSERT_TRUE(velk::StartTunnelService());
  ASSERT_TRUE(
      velk::test::WaitForTunnelServiceState(TunnelServiceState::Running));
  // While it runs, the tunnel greets its endpoint.
  EXPECT_EQ(peer.Receive(), "tovrane stand-in keepalive");

  ASSERT_TRUE(velk::StopTunnelService());
  ASSERT_TRUE(
      velk::test::WaitForTunnelServiceState(TunnelServiceState::Stopped));
  uint32_t exit_code = 0;
  EXPECT_EQ(velk::QueryTunnelServiceState(&exit_code),
            TunnelServiceState::Stopped);
  EXPECT_EQ(exit_code, 7u);

  // The library's entry returned only after the service had stopped.
  ASSERT_TRUE(WaitForTranscriptLine("returning 1"));
  const std::string transcript = ReadBeside(L"tunnel_transcript.txt");
  EXPECT_NE(transcript.find("tunnel name TovraneVPN\nrunning\nstop control\n"
                            "stopped with code 7\ndispatcher returned\n"),
            std::string::npos)
      << transcript;
  EXPECT_EQ(ReadBeside(L"tunnel_config_received.txt"), config);
}

TEST_F(TunnelHostServiceTest, ReportsTheCodeOfATunnelThatEndsOrNeverStarts) {
  SetKnobs("exit_code=5\nstop_after_ms=400\n");
  Install("[Peer]\nEndpoint = 127.0.0.1:9\n");
  ASSERT_TRUE(velk::StartTunnelService());
  ASSERT_TRUE(WaitForTranscriptLine("stopped by itself"));
  ASSERT_TRUE(
      velk::test::WaitForTunnelServiceState(TunnelServiceState::Stopped));
  uint32_t exit_code = 0;
  velk::QueryTunnelServiceState(&exit_code);
  EXPECT_EQ(exit_code, 5u);
  ASSERT_TRUE(WaitForTranscriptLine("returning 1"));

  (void)DeleteFileW(BesideThisProgram(L"tunnel_transcript.txt").c_str());
  SetKnobs("exit_code=9\nrefuse_start=1\n");
  ASSERT_TRUE(velk::StartTunnelService());
  ASSERT_TRUE(WaitForTranscriptLine("refused to start"));
  ASSERT_TRUE(
      velk::test::WaitForTunnelServiceState(TunnelServiceState::Stopped));
  velk::QueryTunnelServiceState(&exit_code);
  EXPECT_EQ(exit_code, 9u);
  EXPECT_EQ(ReadBeside(L"tunnel_transcript.txt").find("running"),
            std::string::npos);
}

}  // namespace
