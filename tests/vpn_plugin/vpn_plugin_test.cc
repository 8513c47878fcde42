// The plug-in's channel contract: the four methods and their arguments, the
// listener, a tunnel found running at start-up and worker threads that
// outlive the plug-in.

#include "client/vpn_plugin/vpn_plugin.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "channels/engine_project.h"
#include "channels/flutter_engine.h"
#include "channels/method_call.h"
#include "channels/standard_method_codec.h"
#include "client/vpn_plugin/status_strings.h"
#include "interfaces/vpn_channels.h"
#include "stand_ins/embedder/embedder_testing.h"
#include "tests/vpn_plugin/plugin_test_fixture.h"

namespace velk::test {
namespace {

using flutter::EncodableValue;
using flutter::EncodableValueList;
using flutter::EncodableValueMap;

class VpnPluginTest : public PluginTest {
 protected:
  // Connects with `arguments` through the direct route and returns the
  // stored configuration text.
  std::string StoredConfigAfterConnect(const EncodableValueMap& arguments) {
    const size_t call = window_->CallControl(vpn_channels::kConnect, arguments);
    EXPECT_TRUE(PumpMessagesUntil([&] { return window_->Replied(call); }));
    return world_->StoredConfig();
  }
};

std::string LineStartingWith(const std::string& text,
                             const std::string& prefix) {
  const size_t start = text.find("\n" + prefix);
  if (start == std::string::npos) return "";
  return text.substr(start + 1, text.find('\n', start + 1) - start - 1);
}

TEST_F(VpnPluginTest, AnswersTheMethodTable) {
  Start({.installed = false});
  ASSERT_TRUE(window_->Listen());

  // Bad "connect" arguments: the error, and nothing else happens.
  for (const std::optional<EncodableValue>& bad :
       {std::optional<EncodableValue>(),
        std::optional<EncodableValue>(EncodableValue(EncodableValueList{})),
        std::optional<EncodableValue>(EncodableValue("settings"))}) {
    const Answer answer = CallAndReply(vpn_channels::kConnect, bad);
    EXPECT_EQ(answer.kind, Answer::kError);
    EXPECT_EQ(answer.code, vpn_channels::kBadArgumentsCode);
    EXPECT_EQ(answer.message, vpn_channels::kBadArgumentsMessage);
    EXPECT_FALSE(answer.value.has_value()) << "no details";
  }
  EXPECT_EQ(world_->ServiceOperationCount(), 0);

  EXPECT_EQ(CallAndReply("Connect").kind, Answer::kNotImplemented);
  EXPECT_EQ(CallAndReply("getStatuses").kind, Answer::kNotImplemented);

  const Answer since = CallAndReply(vpn_channels::kGetConnectedSince);
  EXPECT_EQ(since.kind, Answer::kSuccess);
  EXPECT_FALSE(since.value.has_value());

  const Answer status = CallAndReply(vpn_channels::kGetStatus);
  EXPECT_EQ(status.kind, Answer::kSuccess);
  EXPECT_EQ(status.value, EncodableValue(velk::kStatusDisconnected));

  // No service at all: still success, and the status at once.
  const Answer disconnect =
      CallAndReply(vpn_channels::kDisconnect, EncodableValue(7));
  EXPECT_EQ(disconnect.kind, Answer::kSuccess);
  EXPECT_FALSE(disconnect.value.has_value());
  EXPECT_EQ(Timeline(),
            (std::vector<std::string>{"#stop", velk::kStatusDisconnected}));
}

TEST_F(VpnPluginTest, ReadsConnectArgumentsByType) {
  Start({});
  world_->HoldAt(500);  // the monitor of the connections below waits there
  ASSERT_TRUE(window_->Listen());
  const EncodableValue settings{std::string(kValidSettings)};

  // An empty map: three empty strings and MTU 1350 reach the builder, whose
  // message arrives as the error status before the reply.
  const size_t empty =
      window_->CallControl(vpn_channels::kConnect, EncodableValueMap{});
  ASSERT_TRUE(PumpMessagesUntil([&] { return window_->Replied(empty); }));
  EXPECT_EQ(Timeline(), (std::vector<std::string>{
                            velk::kStatusConnecting,
                            "error:Некорректный PrivateKey в конфигурации"}));
  EXPECT_EQ(window_->Reply(empty).kind, Answer::kSuccess);

  // 2^32 + 1400 as a 64-bit value counts by its low 32 bits.
  std::string config = StoredConfigAfterConnect(EncodableValueMap{
      {EncodableValue(vpn_channels::kSettingsKey), settings},
      {EncodableValue(vpn_channels::kAddressKey),
       EncodableValue("10.9.0.2/32")},
      {EncodableValue(vpn_channels::kDnsKey), EncodableValue("9.9.9.9")},
      {EncodableValue(vpn_channels::kMtuKey),
       EncodableValue(int64_t{4294967296 + 1400})}});
  EXPECT_EQ(LineStartingWith(config, "MTU"), "MTU = 1400");
  EXPECT_EQ(LineStartingWith(config, "Address"), "Address = 10.9.0.2/32");
  EXPECT_EQ(LineStartingWith(config, "DNS"), "DNS = 9.9.9.9");

  // Values of other types count as missing.
  config = StoredConfigAfterConnect(EncodableValueMap{
      {EncodableValue(vpn_channels::kSettingsKey), settings},
      {EncodableValue(vpn_channels::kAddressKey), EncodableValue(10)},
      {EncodableValue(vpn_channels::kMtuKey), EncodableValue("1400")}});
  EXPECT_EQ(LineStartingWith(config, "MTU"), "MTU = 1350");
  EXPECT_EQ(LineStartingWith(config, "Address"), "Address = ");
}

TEST_F(VpnPluginTest, DropsStatusesWithoutListener) {
  Start({});
  CallAndReply(vpn_channels::kDisconnect);
  EXPECT_TRUE(window_->Listen());
  CallAndReply(vpn_channels::kDisconnect);
  EXPECT_TRUE(window_->Cancel());
  CallAndReply(vpn_channels::kDisconnect);
  EXPECT_TRUE(window_->Listen());
  CallAndReply(vpn_channels::kDisconnect);
  EXPECT_EQ(Timeline(), (std::vector<std::string>{
                            "#stop", "#stop", velk::kStatusDisconnected,
                            "#stop", "#stop", velk::kStatusDisconnected}));
}

TEST_F(VpnPluginTest, GetStatusAtStartUpResumesARunningTunnel) {
  Start({.stops_by_itself_at = 4500});
  world_->StartRunningNow();
  world_->HoldAt(2000);
  ASSERT_TRUE(window_->Listen());

  const Answer status = CallAndReply(vpn_channels::kGetStatus);
  EXPECT_EQ(status.value, EncodableValue(velk::kStatusConnected));
  ASSERT_TRUE(world_->WaitUntilHeld(10000));
  PumpQueuedMessages();
  // The monitor's first poll, at the call, set connected-since; asking again
  // gives the same moment, and a second "getStatus" starts no monitor.
  EXPECT_EQ(CallAndReply(vpn_channels::kGetConnectedSince).value,
            EncodableValue(kWorldStartUnixMs));
  EXPECT_EQ(CallAndReply(vpn_channels::kGetConnectedSince).value,
            EncodableValue(kWorldStartUnixMs));
  EXPECT_EQ(CallAndReply(vpn_channels::kGetStatus).value,
            EncodableValue(velk::kStatusConnected));
  world_->Release();

  ASSERT_TRUE(WaitForTimeline(6));
  PumpMessagesFor(50);
  EXPECT_EQ(Timeline(),
            (std::vector<std::string>{
                velk::kStatusConnected, velk::kStatusConnected,
                velk::kStatusConnected, velk::kStatusConnected,
                velk::kStatusConnected, velk::kStatusDisconnected}));
  EXPECT_FALSE(
      CallAndReply(vpn_channels::kGetConnectedSince).value.has_value());
}

TEST_F(VpnPluginTest, StartingServiceReadsAsConnecting) {
  Start({.start_delay_ms = 60000, .stops_by_itself_at = 1500});
  world_->StartRunningNow();
  EXPECT_EQ(CallAndReply(vpn_channels::kGetStatus).value,
            EncodableValue(velk::kStatusConnecting));
}

TEST_F(VpnPluginTest, MonitorAsleepWhenThePluginGoesTouchesNothing) {
  Start({});
  ASSERT_TRUE(window_->Listen());
  world_->HoldAt(2000);
  const size_t call = Connect();
  ASSERT_TRUE(world_->WaitUntilHeld(10000));
  ASSERT_TRUE(PumpMessagesUntil([&] { return window_->Replied(call); }));
  const int operations = world_->ServiceOperationCount();
  const size_t polls = world_->MonitorPollTimesNs().size();
  const size_t statuses = Timeline().size();

  // The window object goes while the monitor sleeps, then its clock runs on.
  ASSERT_TRUE(DestroyPluginAndWaitForWorkers());
  EXPECT_EQ(world_->ServiceOperationCount(), operations);
  EXPECT_EQ(world_->MonitorPollTimesNs().size(), polls);
  EXPECT_EQ(Timeline().size(), statuses);
}

// A connect still waiting for the elevated setup when its plug-in goes, or
// when the window it posts to has gone (the user closed it): its statuses
// and reply reach nobody and are freed where they were posted, and no
// monitor starts for a plug-in that is gone. Run on a bare engine, which
// outlives both, so that its messenger shows when the reply is freed.
TEST(VpnPluginLifetime, ConnectOutlivingItsPluginOrWindowFreesItsReply) {
  for (const bool plugin_goes : {true, false}) {
    SCOPED_TRACE(plugin_goes ? "plug-in destroyed" : "window gone");
    auto world = std::make_shared<FakeTunnelWorld>(FakeTunnelWorld::Setup{
        .installed = false, .elevation_succeeds = plugin_goes});
    flutter::FlutterEngine engine(flutter::EngineProjectIn(L"data"));
    const HWND gone = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0,
                                      HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_TRUE(DestroyWindow(gone));
    auto plugin = std::make_unique<velk::VpnPlugin>(engine.GetMessenger(), gone,
                                                    world->Outside());
    const auto references = [&] {
      return VelkEmbedderGetCounters(engine.engine()).messenger_references;
    };
    const int idle_references = references();

    world->BlockElevation();
    const auto message =
        flutter::StandardMethodCodec::ForSerializer(nullptr).EncodeCall(
            flutter::MethodCall(
                vpn_channels::kConnect,
                std::make_unique<EncodableValue>(EncodableValueMap{{
                    EncodableValue(vpn_channels::kSettingsKey),
                    EncodableValue(kValidSettings),
                }})));
    int replies = 0;
    ASSERT_TRUE(VelkEmbedderDeliverMessage(
        engine.engine(), vpn_channels::kControlChannel, message->data(),
        message->size(),
        [](const uint8_t*, size_t, void* count) {
          ++*static_cast<int*>(count);
        },
        &replies));
    ASSERT_TRUE(world->WaitUntilHeld(10000));
    EXPECT_EQ(references(), idle_references + 1) << "the reply holds it";

    if (plugin_goes) plugin.reset();
    world->Release();
    EXPECT_TRUE(PumpMessagesUntil([&] {
      return references() == idle_references;
    })) << "the reply was freed";
    EXPECT_EQ(replies, 0);
    EXPECT_EQ(VelkEmbedderGetCounters(engine.engine()).open_responses, 1u);
    plugin.reset();
    // A monitor started for a plug-in that is gone would poll on for ever.
    EXPECT_TRUE(PumpMessagesUntil([&] { return world.use_count() == 1; }));
    EXPECT_TRUE(world->MonitorPollTimesNs().empty()) << "no monitor started";
  }
}

}  // namespace
}  // namespace velk::test
