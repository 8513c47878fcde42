// The messenger over the embedder: handlers per channel, replies to incoming
// messages (once, and never after the engine), and sends with replies.

#include "channels/binary_messenger_impl.h"
#include "interfaces/vpn_channels.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "channels/flutter_engine.h"
#include "tests/channels/channel_test_support.h"
#include "tests/support/report_capture.h"

namespace velk::test {
namespace {

using flutter::ChannelReply;

constexpr const char* kChannel = vpn_channels::kControlChannel;

class BinaryMessengerImplTest : public testing::Test {
 protected:
  BinaryMessengerImplTest()
      : engine_(std::make_unique<flutter::FlutterEngine>(
            flutter::EngineProjectIn(L"data"))),
        messenger_(engine_->GetMessenger()) {}

  // Registers a handler that keeps each message's reply for the test.
  void KeepReplies() {
    messenger_->SetChannelHandler(
        kChannel, [this](const uint8_t*, size_t, ChannelReply reply) {
          kept_.push_back(std::move(reply));
        });
  }

  VelkEmbedderCounters Counters() {
    return VelkEmbedderGetCounters(engine_->engine());
  }

  std::unique_ptr<flutter::FlutterEngine> engine_;
  flutter::BinaryMessenger* messenger_;
  std::vector<ChannelReply> kept_;
};

TEST_F(BinaryMessengerImplTest, SecondHandlerReplacesTheFirst) {
  std::vector<std::string> seen;
  messenger_->SetChannelHandler(
      kChannel, [&](const uint8_t*, size_t, ChannelReply reply) {
        seen.push_back("first");
        reply(nullptr, 0);
      });
  messenger_->SetChannelHandler(
      kChannel, [&](const uint8_t* data, size_t size, ChannelReply reply) {
        seen.push_back("second");
        reply(data, size);  // echo
      });
  ResponseLog responses;
  EXPECT_TRUE(Deliver(*engine_, kChannel, Hex("01 02 03"), &responses));
  EXPECT_EQ(seen, std::vector<std::string>{"second"});
  EXPECT_EQ(responses.Only(), Hex("01 02 03"));
}

TEST_F(BinaryMessengerImplTest, EmptyHandlerUnregistersTheChannel) {
  KeepReplies();
  messenger_->SetChannelHandler(kChannel, nullptr);
  ResponseLog responses;
  EXPECT_FALSE(Deliver(*engine_, kChannel, Hex("00"), &responses));
  EXPECT_TRUE(kept_.empty());
  // Removing a channel that has no handler is harmless.
  messenger_->SetChannelHandler("never.registered", nullptr);
}

TEST_F(BinaryMessengerImplTest, SecondReplyIsReportedAndDropped) {
  KeepReplies();
  ResponseLog responses;
  Deliver(*engine_, kChannel, Hex("00"), &responses);
  ASSERT_EQ(kept_.size(), 1u);

  ReportCapture reports;
  kept_[0](Hex("AA").data(), 1);
  ChannelReply copy = kept_[0];
  copy(Hex("BB").data(), 1);  // a copy shares the answered state
  kept_[0](nullptr, 0);
  EXPECT_EQ(responses.Only(), Hex("AA"));
  EXPECT_EQ(reports.Lines(),
            (std::vector<std::string>(
                2,
                "Error: Response can be set only once. Ignoring "
                "duplicate response.")));
  // The embedder never saw the handle twice.
  EXPECT_EQ(Counters().rejected_responses, 0u);
}

TEST_F(BinaryMessengerImplTest, KeptReplyHoldsTheMessenger) {
  EXPECT_EQ(Counters().messenger_references, 1);
  KeepReplies();
  ResponseLog responses;
  Deliver(*engine_, kChannel, Hex("00"), &responses);
  EXPECT_EQ(Counters().messenger_references, 2);
  kept_.clear();
  EXPECT_EQ(Counters().messenger_references, 1);
}

TEST_F(BinaryMessengerImplTest, ReplyAfterTheEngineIsGoneDoesNothing) {
  KeepReplies();
  ResponseLog responses;
  Deliver(*engine_, kChannel, Hex("00"), &responses);
  ASSERT_EQ(kept_.size(), 1u);
  int live_before = VelkEmbedderLiveEngines();
  int rejected_before = VelkEmbedderRejectedResponsesTotal();
  engine_.reset();
  EXPECT_EQ(VelkEmbedderLiveEngines(), live_before - 1);

  ReportCapture reports;
  kept_[0](Hex("00 00").data(), 2);  // the messenger is still valid here
  EXPECT_EQ(responses.Count(), 0u);
  EXPECT_TRUE(reports.Text().empty()) << reports.Text();
  // Dropped before it reached the embedder.
  EXPECT_EQ(VelkEmbedderRejectedResponsesTotal(), rejected_before);
  kept_.clear();  // releases the last reference
}

TEST_F(BinaryMessengerImplTest, SendsWithAndWithoutReply) {
  OutgoingLog outgoing(engine_->engine());
  std::vector<Bytes> replies;
  messenger_->SendMessage(vpn_channels::kStatusChannel, Hex("00 00").data(), 2,
                          nullptr);
  messenger_->SendMessage("tovrane.vpn/ui", Hex("07 00").data(), 2,
                          [&](const uint8_t* data, size_t size) {
                            replies.emplace_back(data, data + size);
                          });
  ASSERT_EQ(outgoing.messages().size(), 2u);
  EXPECT_EQ(outgoing.messages()[0].channel, vpn_channels::kStatusChannel);
  EXPECT_FALSE(outgoing.messages()[0].expects_reply);
  EXPECT_EQ(outgoing.messages()[1].bytes, Hex("07 00"));
  EXPECT_TRUE(outgoing.messages()[1].expects_reply);

  // The interface answers on the platform thread's next turn.
  EXPECT_TRUE(replies.empty());
  EXPECT_EQ(VelkEmbedderRunPendingTasks(engine_->engine()), 1u);
  EXPECT_EQ(replies, std::vector<Bytes>{Bytes()});
}

TEST_F(BinaryMessengerImplTest, ReplyStillAwaitedWhenTheEngineEndsIsFreed) {
  auto witness = std::make_shared<int>(0);
  std::vector<Bytes> replies;
  messenger_->SendMessage(
      "tovrane.vpn/ui", Hex("07 00").data(), 2,
      [witness, &replies](const uint8_t* data, size_t size) {
        replies.emplace_back(data, data + size);
      });
  EXPECT_EQ(witness.use_count(), 2);
  engine_.reset();
  // Answered with no data, as for a message nobody handled, and freed.
  EXPECT_EQ(replies, std::vector<Bytes>{Bytes()});
  EXPECT_EQ(witness.use_count(), 1);
}

TEST_F(BinaryMessengerImplTest, RefusedSendDropsItsReply) {
  VelkEmbedderSetRefuseSends(engine_->engine(), true);
  auto witness = std::make_shared<int>(0);
  int calls = 0;
  messenger_->SendMessage(
      "tovrane.vpn/ui", Hex("07 00").data(), 2,
      [witness, &calls](const uint8_t*, size_t) { ++calls; });
  // The heap copy of the reply is gone at once, not leaked.
  EXPECT_EQ(witness.use_count(), 1);
  VelkEmbedderRunPendingTasks(engine_->engine());
  EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace velk::test
