// The statuses of connection attempts, driven through the plug-in's channels
// against a fake service, interface and clock: one row per line of the
// connection state table, each with the whole timeline the interface sees.

#include "client/vpn_plugin/status_monitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "client/provisioning/tunnel_config.h"
#include "client/vpn_plugin/status_strings.h"
#include "interfaces/vpn_channels.h"
#include "tests/vpn_plugin/plugin_test_fixture.h"

namespace velk::test {
namespace {

using velk::kStatusConnected;
using velk::kStatusConnecting;
using velk::kStatusDisconnected;
using velk::kStatusNoHandshake;
using velk::kStatusServiceSetupFailed;
using Statuses = std::vector<std::string>;

Statuses operator+(Statuses lhs, const Statuses& rhs) {
  lhs.insert(lhs.end(), rhs.begin(), rhs.end());
  return lhs;
}
Statuses Repeat(const std::string& status, int times) {
  return Statuses(static_cast<size_t>(times), status);
}

// The message the configuration builder gives for `settings`.
std::string BuilderMessage(const std::string& settings) {
  std::string config;
  std::string message;
  EXPECT_FALSE(velk::BuildTunnelConfig(settings, "10.8.0.2/32", "1.1.1.1", 1420,
                                       &config, &message));
  return message;
}

class StatusMonitorTest : public PluginTest {
 public:
  // Every call of the row, the first connect first: each is answered.
  std::vector<size_t> calls_;
};

// Each row connects. `hold_at` (fake ms) stops the clock there, or
// `block_elevation` the elevated setup, so that `at_hold` can look or act
// (and call again); then the row runs to its end.
struct Row {
  const char* line = "";
  FakeTunnelWorld::Setup setup;
  std::string settings;
  Statuses expected;
  int64_t hold_at = -1;
  bool block_elevation = false;
  std::function<void(StatusMonitorTest&)> at_hold;
  std::function<void(StatusMonitorTest&)> at_end;
  bool monitored = true;  // the attempt reaches the monitor
  // The leading entries of `expected` that the connect work posts before
  // the first connect's reply; the monitor's may come before or after it.
  size_t connect_posts = 3;
  bool service_untouched = false;
};

int64_t ConnectedSince(StatusMonitorTest& test) {
  const Answer reply = test.CallAndReply(vpn_channels::kGetConnectedSince);
  EXPECT_EQ(reply.kind, Answer::kSuccess);
  if (!reply.value) return 0;
  const auto* since = std::get_if<int64_t>(&*reply.value);
  EXPECT_NE(since, nullptr) << "connected-since is a 64-bit integer";
  return since != nullptr ? *since : -1;
}

TEST_F(StatusMonitorTest, FollowsTheConnectionStateTable) {
  const Statuses begin = {kStatusConnecting, "#stop-wait", "#start"};

  std::vector<Row> rows;
  {
    Row row;
    row.line = "configuration text fails: builder message, service untouched";
    row.settings = "private_key=AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=";
    row.expected = {kStatusConnecting,
                    velk::kStatusErrorPrefix + BuilderMessage(row.settings)};
    row.monitored = false;
    row.service_untouched = true;
    row.connect_posts = 2;
    rows.push_back(row);
  }
  {
    Row row;
    row.line = "direct route and elevated setup both fail";
    row.setup.installed = false;
    row.setup.elevation_succeeds = false;
    row.expected = {kStatusConnecting, "#setup", kStatusServiceSetupFailed};
    row.monitored = false;
    rows.push_back(row);
  }
  {
    Row row;
    row.line = "not current: elevated setup starts it; stopped with code 5";
    row.setup.current = false;
    row.setup.stops_by_itself_at = 2500;
    row.setup.exit_code_by_itself = 5;
    row.expected =
        Statuses{kStatusConnecting, "#stop-wait", "#setup"} +
        Repeat(kStatusConnected, 3) +
        Statuses{std::string(vpn_channels::kStatusServiceStoppedStart) + "5" +
                 vpn_channels::kStatusServiceStoppedEnd};
    rows.push_back(row);
  }
  {
    Row row;
    row.line = "start-pending 40 s keeps connecting past 30 s; then traffic";
    row.setup.start_delay_ms = 40500;
    row.setup.stops_by_itself_at = 42500;
    row.expected = begin + Repeat(kStatusConnecting, 41) +
                   Repeat(kStatusConnected, 2) + Statuses{kStatusDisconnected};
    rows.push_back(row);
  }
  {
    Row row;
    row.line = "traffic after 10 s: connected-since is that first poll";
    row.setup.first_byte_after_ms = 9500;
    row.setup.stops_by_itself_at = 12500;
    row.setup.exit_code_by_itself = 0;
    row.expected = begin + Repeat(kStatusConnecting, 10) +
                   Repeat(kStatusConnected, 3) + Statuses{kStatusDisconnected};
    row.hold_at = 12000;
    row.at_hold = [](StatusMonitorTest& test) {
      EXPECT_EQ(ConnectedSince(test), kWorldStartUnixMs + 10000);
      EXPECT_EQ(ConnectedSince(test), kWorldStartUnixMs + 10000);
    };
    rows.push_back(row);
  }
  {
    Row row;
    row.line = "silent peer: 30 s of connecting, service stopped, then error";
    row.setup.first_byte_after_ms = kNever;
    // The 30th second is still within the allowance; the 31st is not.
    row.expected = begin + Repeat(kStatusConnecting, 31) +
                   Statuses{"#stop-wait", kStatusNoHandshake};
    row.hold_at = 20000;
    row.at_hold = [](StatusMonitorTest& test) {
      EXPECT_EQ(ConnectedSince(test), 0);
    };
    rows.push_back(row);
  }
  {
    Row row;
    row.line = "silent peer with sleeps that end early: same polls";
    row.setup.first_byte_after_ms = kNever;
    row.setup.sleeps_end_early = true;
    // Each pause ends within a millisecond after its second, so the 30th
    // poll is already past the allowance.
    row.expected = begin + Repeat(kStatusConnecting, 30) +
                   Statuses{"#stop-wait", kStatusNoHandshake};
    rows.push_back(row);
  }
  {
    Row row;
    row.line =
        "disconnect while connected: at once, then again from the monitor";
    row.expected = begin + Repeat(kStatusConnected, 3) +
                   Statuses{"#stop", kStatusDisconnected, kStatusDisconnected};
    row.hold_at = 3000;
    row.at_hold = [](StatusMonitorTest& test) {
      EXPECT_EQ(ConnectedSince(test), kWorldStartUnixMs);
      test.window_->CallControl(vpn_channels::kDisconnect);
      EXPECT_EQ(ConnectedSince(test), 0);
    };
    rows.push_back(row);
  }

  // The user clicks again: the last word decides, and no attempt that it
  // overruled reports anything after it.
  {
    Row row;
    row.line = "connect twice, silent peer: one error, 31 s after the second";
    row.setup.first_byte_after_ms = kNever;
    row.expected = begin + Repeat(kStatusConnecting, 5) + begin +
                   Repeat(kStatusConnecting, 31) +
                   Statuses{"#stop-wait", kStatusNoHandshake};
    row.hold_at = 5000;
    row.at_hold = [](StatusMonitorTest& test) {
      test.calls_.push_back(test.Connect());
    };
    rows.push_back(row);
  }
  {
    Row row;
    row.line = "connect while connected, new peer silent: its own allowance";
    row.expected = begin + Repeat(kStatusConnected, 3) + begin +
                   Repeat(kStatusConnecting, 31) +
                   Statuses{"#stop-wait", kStatusNoHandshake};
    row.hold_at = 3000;
    row.at_hold = [](StatusMonitorTest& test) {
      EXPECT_EQ(ConnectedSince(test), kWorldStartUnixMs);
      test.world_->SilencePeer();
      test.calls_.push_back(test.Connect());
      EXPECT_EQ(ConnectedSince(test), 0) << "none for the new connection";
    };
    rows.push_back(row);
  }
  {
    Row row;
    row.line = "disconnect during the setup: the service ends stopped";
    row.setup.installed = false;
    // Were it left running, the row would still end.
    row.setup.stops_by_itself_at = 3500;
    row.block_elevation = true;
    row.expected = {kStatusConnecting, "#setup", kStatusDisconnected,
                    "#stop-wait"};
    row.at_hold = [](StatusMonitorTest& test) {
      test.calls_.push_back(
          test.window_->CallControl(vpn_channels::kDisconnect));
    };
    row.monitored = false;
    rows.push_back(row);
  }
  {
    Row row;
    row.line = "twenty quick connects: one prompt, the last settings stored";
    row.setup.installed = false;
    row.setup.stops_by_itself_at = 1500;
    row.block_elevation = true;
    // The first runs (and prompts) while the others arrive; each of those
    // replaces the one still waiting, and only the last runs after it.
    row.expected = Statuses{kStatusConnecting, "#setup"} +
                   Repeat(kStatusConnecting, 19) +
                   Statuses{"#stop-wait", "#start", kStatusConnected,
                            kStatusConnected, kStatusDisconnected};
    row.at_hold = [](StatusMonitorTest& test) {
      for (int i = 1; i < 20; ++i) {
        test.calls_.push_back(test.Connect(std::string(kValidSettings) +
                                           "endpoint=203.0.113." +
                                           std::to_string(i) + ":51820\n"));
      }
      for (int i = 1; i < 19; ++i) {
        EXPECT_TRUE(test.window_->Replied(test.calls_[i])) << "replaced";
      }
    };
    row.at_end = [](StatusMonitorTest& test) {
      const std::string stored = test.world_->StoredConfig();
      EXPECT_NE(stored.find("Endpoint = 203.0.113.19:51820\n"),
                std::string::npos)
          << stored;
      EXPECT_EQ(test.world_->RunningConfig(), stored);
    };
    rows.push_back(row);
  }

  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    Start(row.setup);
    ASSERT_TRUE(window_->Listen());
    if (row.hold_at >= 0) world_->HoldAt(row.hold_at);
    if (row.block_elevation) world_->BlockElevation();
    calls_ = {Connect(row.settings.empty() ? kValidSettings : row.settings)};
    if (row.at_hold) {
      ASSERT_TRUE(world_->WaitUntilHeld(10000));
      PumpQueuedMessages();
      row.at_hold(*this);
      world_->Release();
    }
    // On a failure the comparison below shows what did arrive.
    EXPECT_TRUE(WaitForTimeline(row.expected.size()));
    EXPECT_TRUE(PumpMessagesUntil([&] {
      return std::all_of(calls_.begin(), calls_.end(),
                         [&](size_t call) { return window_->Replied(call); });
    }));
    // Anything sent after the row's end would arrive now.
    PumpMessagesFor(50);
    EXPECT_EQ(Timeline(), row.expected);
    for (const size_t call : calls_) {
      EXPECT_EQ(window_->Reply(call).kind, Answer::kSuccess) << call;
      EXPECT_FALSE(window_->Reply(call).value.has_value()) << call;
    }
    // Everything arrived on the platform thread, and the reply after what
    // the connect work posted before it.
    EXPECT_EQ(window_->Misdelivered(), 0);
    EXPECT_GE(window_->ReplyPosition(calls_.front()), row.connect_posts);
    EXPECT_EQ(ConnectedSince(*this), 0);
    if (row.at_end) row.at_end(*this);

    const std::vector<int64_t> polls = world_->MonitorPollTimesNs();
    EXPECT_EQ(polls.empty(), !row.monitored);
    for (size_t i = 1; i < polls.size(); ++i) {
      const int64_t gap = polls[i] - polls[i - 1];
      EXPECT_GE(gap, 1000000000) << "poll " << i;
      EXPECT_LT(gap, row.setup.sleeps_end_early ? 1001000000 : 1000000001)
          << "poll " << i;
    }
    if (!row.monitored) {
      EXPECT_EQ(world_->StateNow(), velk::TunnelServiceState::Stopped);
    }
    if (row.service_untouched) {
      EXPECT_EQ(world_->ServiceOperationCount(), 0);
    }
    ASSERT_TRUE(DestroyPluginAndWaitForWorkers());
  }
}

TEST(SystemTime, ConvertsToMillisecondsSince1970) {
  EXPECT_EQ(velk::UnixMillisecondsFromSystemTime(kWorldStartSystemTime),
            kWorldStartUnixMs);
  // 1970-01-01 itself, and the 100 ns units below a millisecond dropped.
  EXPECT_EQ(velk::UnixMillisecondsFromSystemTime(116444736000000000), 0);
  EXPECT_EQ(velk::UnixMillisecondsFromSystemTime(116444736000019999), 1);
}

}  // namespace
}  // namespace velk::test
