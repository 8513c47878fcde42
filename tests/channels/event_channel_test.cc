// The event channel through the messenger: the listen/cancel state, the
// golden reply and event bytes, and the handler-less answers.

#include "channels/event_channel.h"
#include "interfaces/vpn_channels.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "channels/flutter_engine.h"
#include "channels/standard_method_codec.h"
#include "channels/stream_handler_functions.h"
#include "tests/channels/channel_test_support.h"
#include "tests/support/report_capture.h"

namespace velk::test {
namespace {

using flutter::EncodableValue;
using flutter::EventSink;
using flutter::StreamHandlerError;

constexpr const char* kChannel = vpn_channels::kStatusChannel;

// 07 06 "listen" 00 and 07 06 "cancel" 00: the calls with null arguments.
const Bytes kListen = Hex("07 06") + Text("listen") + Hex("00");
const Bytes kCancel = Hex("07 06") + Text("cancel") + Hex("00");
const Bytes kSuccess = Hex("00 00");
// 01, "error", "No active stream to cancel" (0x1A bytes), null details.
const Bytes kNoActiveStream = Hex("01 07 05") + Text("error") + Hex("07 1A") +
                              Text("No active stream to cancel") + Hex("00");

// A stream handler that records what it is asked and can be told to fail.
struct Recorder {
  std::vector<std::string> calls;  // "listen:<args>" / "cancel:<args>"
  std::unique_ptr<EventSink> sink;
  bool fail_listen = false;
  bool fail_cancel = false;

  static std::string Describe(const EncodableValue* arguments) {
    if (arguments == nullptr) return "none";
    if (arguments->IsNull()) return "null";
    if (auto* text = std::get_if<std::string>(arguments)) return *text;
    return "other";
  }

  std::unique_ptr<flutter::StreamHandler> Handler() {
    return std::make_unique<flutter::StreamHandlerFunctions>(
        [this](const EncodableValue* arguments,
               std::unique_ptr<EventSink>&& events)
            -> std::unique_ptr<StreamHandlerError> {
          calls.push_back("listen:" + Describe(arguments));
          sink = std::move(events);
          if (fail_listen) {
            return std::make_unique<StreamHandlerError>("error", "", nullptr);
          }
          return nullptr;
        },
        [this](const EncodableValue* arguments)
            -> std::unique_ptr<StreamHandlerError> {
          calls.push_back("cancel:" + Describe(arguments));
          if (fail_cancel) {
            return std::make_unique<StreamHandlerError>("busy", "cannot stop",
                                                        nullptr);
          }
          return nullptr;
        });
  }
};

class EventChannelTest : public testing::Test {
 protected:
  EventChannelTest()
      : engine_(flutter::EngineProjectIn(L"data")),
        channel_(engine_.GetMessenger(), kChannel,
                 &flutter::StandardMethodCodec::ForSerializer(nullptr)) {}

  Bytes Send(const Bytes& message) {
    ResponseLog responses;
    Deliver(engine_, kChannel, message, &responses);
    return responses.Only();
  }

  flutter::FlutterEngine engine_;
  flutter::EventChannel channel_;
  Recorder recorder_;
};

TEST_F(EventChannelTest, ListensAndCancels) {
  channel_.AttachStreamHandler(recorder_.Handler());

  EXPECT_EQ(Send(kListen), kSuccess);
  EXPECT_EQ(recorder_.calls, std::vector<std::string>{"listen:null"});
  ASSERT_NE(recorder_.sink, nullptr);

  // 07 06 "cancel" 07 03 "now": the cancel's own arguments reach OnCancel.
  EXPECT_EQ(Send(Hex("07 06") + Text("cancel") + Hex("07 03") + Text("now")),
            kSuccess);
  EXPECT_EQ(recorder_.calls.back(), "cancel:now");

  // Nothing to cancel any more.
  EXPECT_EQ(Send(kCancel), kNoActiveStream);
  EXPECT_EQ(recorder_.calls.size(), 2u);
}

TEST_F(EventChannelTest, SecondListenCancelsTheFirstStream) {
  channel_.AttachStreamHandler(recorder_.Handler());
  Send(kListen);
  EventSink* first_sink = recorder_.sink.get();
  recorder_.fail_cancel = true;

  ReportCapture reports;
  EXPECT_EQ(Send(kListen), kSuccess);
  // OnCancel without arguments, then a new sink.
  EXPECT_EQ(recorder_.calls, (std::vector<std::string>{
                                 "listen:null", "cancel:none", "listen:null"}));
  EXPECT_NE(recorder_.sink.get(), first_sink);
  // The failed cancel is reported, without a line end; details are null.
  EXPECT_EQ(reports.Text().rfind("Failed to cancel existing stream: busy, "
                                 "cannot stop, ",
                                 0),
            0u)
      << reports.Text();
  EXPECT_EQ(reports.Text().find('\n'), std::string::npos);
}

TEST_F(EventChannelTest, FailedListenStillCountsAsListening) {
  recorder_.fail_listen = true;
  channel_.AttachStreamHandler(recorder_.Handler());
  // 01, 07 05 "error", 00 for the empty message, 00 for no details.
  EXPECT_EQ(Send(kListen), Hex("01 07 05") + Text("error") + Hex("00 00"));
  EXPECT_EQ(Send(kCancel), kSuccess);
  EXPECT_EQ(recorder_.calls.back(), "cancel:null");
}

TEST_F(EventChannelTest, EmptyFunctionsAnswerWithErrors) {
  channel_.AttachStreamHandler(
      std::make_unique<flutter::StreamHandlerFunctions>(nullptr, nullptr));
  EXPECT_EQ(Send(kListen), Hex("01 07 05") + Text("error") + Hex("07 17") +
                               Text("No OnListen handler set") + Hex("00"));
  EXPECT_EQ(Send(kCancel), Hex("01 07 05") + Text("error") + Hex("07 17") +
                               Text("No OnCancel handler set") + Hex("00"));
}

TEST_F(EventChannelTest, OtherMethodsGetAnEmptyReply) {
  channel_.AttachStreamHandler(recorder_.Handler());
  ReportCapture reports;
  EXPECT_EQ(Send(Hex("07 06") + Text("Listen") + Hex("00")), Bytes());
  EXPECT_EQ(Send(Hex("07 07") + Text("listens") + Hex("00")), Bytes());
  EXPECT_EQ(Send(Hex("07 04") + Text("list") + Hex("00")), Bytes());
  EXPECT_TRUE(recorder_.calls.empty());

  // Not a call at all: both report lines, and still one empty reply.
  EXPECT_EQ(Send(Hex("03 01 00 00 00")), Bytes());
  EXPECT_EQ(reports.Lines(),
            (std::vector<std::string>{
                "Invalid method call; method name is not a string.",
                std::string("Unable to construct method call from message on "
                            "channel: ") +
                    kChannel}));
}

TEST_F(EventChannelTest, SinkSendsGoldenEvents) {
  channel_.AttachStreamHandler(recorder_.Handler());
  OutgoingLog outgoing(engine_.engine());
  Send(kListen);
  ASSERT_NE(recorder_.sink, nullptr);

  recorder_.sink->SendEvent(EncodableValue("connected"));
  recorder_.sink->SendEvent();
  recorder_.sink->SendError("code", "", EncodableValue(true));
  recorder_.sink->SendEndOfStream();

  const std::vector<Bytes> expected = {
      Hex("00 07 09") + Text("connected"),  // success envelope, the string
      Hex("00 00"),                         // an event without a value
      Hex("01 07 04") + Text("code") + Hex("00 01"),  // null message, true
      Bytes(),                                        // end of stream
  };
  ASSERT_EQ(outgoing.messages().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(outgoing.messages()[i].channel, kChannel);
    EXPECT_EQ(outgoing.messages()[i].bytes, expected[i]) << i;
    EXPECT_FALSE(outgoing.messages()[i].expects_reply);
  }
}

// Sees how many events had gone out when the reply to "listen" came.
struct ReplyOrderProbe {
  const OutgoingLog* outgoing = nullptr;
  size_t events_before_reply = 0;
  int replies = 0;

  static void OnResponse(const uint8_t*, size_t, void* user_data) {
    auto* probe = static_cast<ReplyOrderProbe*>(user_data);
    probe->events_before_reply = probe->outgoing->messages().size();
    ++probe->replies;
  }
};

TEST_F(EventChannelTest, EventsSentDuringListenPrecedeItsReply) {
  OutgoingLog outgoing(engine_.engine());
  channel_.AttachStreamHandler(
      std::make_unique<flutter::StreamHandlerFunctions>(
          [](const EncodableValue*, std::unique_ptr<EventSink>&& events)
              -> std::unique_ptr<StreamHandlerError> {
            events->SendEvent(EncodableValue("connecting"));
            return nullptr;
          },
          nullptr));
  ReplyOrderProbe probe;
  probe.outgoing = &outgoing;
  VelkEmbedderDeliverMessage(engine_.engine(), kChannel, kListen.data(),
                             kListen.size(), &ReplyOrderProbe::OnResponse,
                             &probe);
  EXPECT_EQ(probe.replies, 1);
  EXPECT_EQ(probe.events_before_reply, 1u);
}

TEST_F(EventChannelTest, NewHandlerStartsNotListening) {
  channel_.AttachStreamHandler(recorder_.Handler());
  Send(kListen);
  Recorder second;
  channel_.AttachStreamHandler(second.Handler());
  EXPECT_EQ(Send(kCancel), kNoActiveStream);
  EXPECT_TRUE(second.calls.empty());

  channel_.AttachStreamHandler(nullptr);
  ResponseLog responses;
  EXPECT_FALSE(Deliver(engine_, kChannel, kListen, &responses));
}

}  // namespace
}  // namespace velk::test
