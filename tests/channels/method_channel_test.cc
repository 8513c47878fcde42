// The method channel through the messenger: golden call and reply bytes, and
// exactly one reply per incoming message whatever the handler does.

#include "channels/method_channel.h"
#include "interfaces/vpn_channels.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "channels/flutter_engine.h"
#include "channels/standard_method_codec.h"
#include "tests/channels/channel_test_support.h"
#include "tests/support/report_capture.h"

namespace velk::test {
namespace {

using flutter::EncodableValue;
using flutter::EncodableValueMap;
using flutter::MethodCall;
using flutter::MethodChannel;
using flutter::MethodResult;

constexpr const char* kChannel = vpn_channels::kControlChannel;

// 07 09 "getStatus" 00: the method name, then null arguments.
const Bytes kGetStatusCall = Hex("07 09") + Text("getStatus") + Hex("00");

class MethodChannelTest : public testing::Test {
 protected:
  MethodChannelTest()
      : engine_(flutter::EngineProjectIn(L"data")),
        channel_(engine_.GetMessenger(), kChannel,
                 &flutter::StandardMethodCodec::ForSerializer(nullptr)) {}

  // Delivers one message and returns its answers.
  std::vector<Bytes> Call(const Bytes& message) {
    ResponseLog responses;
    Deliver(engine_, kChannel, message, &responses);
    return responses.All();
  }

  flutter::FlutterEngine engine_;
  MethodChannel channel_;
};

TEST_F(MethodChannelTest, DecodesGoldenCalls) {
  std::string method;
  EncodableValue arguments(std::string("unset"));
  channel_.SetCallHandler(
      [&](const MethodCall& call, std::unique_ptr<MethodResult> result) {
        method = call.method_name();
        ASSERT_NE(call.arguments(), nullptr);
        arguments = *call.arguments();
        result->Success();
      });

  Call(kGetStatusCall);
  EXPECT_EQ(method, "getStatus");
  EXPECT_TRUE(arguments.IsNull());

  // "connect" with {"mtu": int32 1350}:
  // 07 07 "connect", 0D map of 01 entry, 07 03 "mtu", 03 int32 46 05 00 00.
  Call(Hex("07 07") + Text("connect") + Hex("0D 01 07 03") + Text("mtu") +
       Hex("03 46 05 00 00"));
  EXPECT_EQ(method, "connect");
  EXPECT_EQ(arguments, EncodableValue(EncodableValueMap{
                           {EncodableValue("mtu"), EncodableValue(1350)}}));

  // The message ends right after the name: null arguments, one report of the
  // read past the end.
  ReportCapture reports;
  Call(Hex("07 09") + Text("getStatus"));
  EXPECT_EQ(method, "getStatus");
  EXPECT_TRUE(arguments.IsNull());
  EXPECT_EQ(reports.Lines().size(), 1u) << reports.Text();
}

TEST_F(MethodChannelTest, EncodesGoldenReplies) {
  channel_.SetCallHandler(
      [](const MethodCall& call, std::unique_ptr<MethodResult> result) {
        const std::string& method = call.method_name();
        if (method == "none") {
          result->Success();
        } else if (method == "string") {
          result->Success(EncodableValue("connected"));
        } else if (method == "error") {
          result->Error("bad_args", "Expected a map argument");
        } else if (method == "bare_error") {
          result->Error("x", "");
        } else if (method == "details") {
          result->Error("e", "m", EncodableValue(int32_t{7}));
        } else {
          result->NotImplemented();
        }
      });
  auto call = [](const std::string& name) {
    return Hex("07") + Bytes{static_cast<uint8_t>(name.size())} + Text(name) +
           Hex("00");
  };

  // Success without a value: 00, then null.
  EXPECT_EQ(Call(call("none")), std::vector<Bytes>{Hex("00 00")});
  // Success with "connected": 00, then 07 09 and the nine bytes.
  EXPECT_EQ(Call(call("string")),
            std::vector<Bytes>{Hex("00 07 09") + Text("connected")});
  // Error: 01, code, message, null details.
  EXPECT_EQ(
      Call(call("error")),
      std::vector<Bytes>{Hex("01 07 08") + Text("bad_args") + Hex("07 17") +
                         Text("Expected a map argument") + Hex("00")});
  // An empty message is written as null: 01 07 01 'x' 00 00.
  EXPECT_EQ(Call(call("bare_error")),
            std::vector<Bytes>{Hex("01 07 01 78 00 00")});
  // Details as one value: int32 7.
  EXPECT_EQ(Call(call("details")),
            std::vector<Bytes>{Hex("01 07 01 65 07 01 6D 03 07 00 00 00")});
  // Not implemented: a reply of no bytes.
  EXPECT_EQ(Call(call("other")), std::vector<Bytes>{Bytes()});
}

TEST_F(MethodChannelTest, AnswersUndecodableCallsAsNotImplemented) {
  bool handled = false;
  channel_.SetCallHandler(
      [&](const MethodCall&, std::unique_ptr<MethodResult> result) {
        handled = true;
        result->Success();
      });
  ReportCapture reports;
  // The first value is an int32, not a method name.
  EXPECT_EQ(Call(Hex("03 01 00 00 00")), std::vector<Bytes>{Bytes()});
  EXPECT_FALSE(handled);
  EXPECT_EQ(reports.Lines(),
            (std::vector<std::string>{
                "Invalid method call; method name is not a string.",
                std::string("Unable to construct method call from message on "
                            "channel ") +
                    kChannel}));
}

TEST_F(MethodChannelTest, SendsOnlyTheFirstOfTwoCompletions) {
  channel_.SetCallHandler(
      [](const MethodCall&, std::unique_ptr<MethodResult> result) {
        result->Success();
        result->Error("late", "too late");
        result->NotImplemented();
      });
  ReportCapture reports;
  EXPECT_EQ(Call(kGetStatusCall), std::vector<Bytes>{Hex("00 00")});
  const std::string duplicate =
      "Error: Only one of Success, Error, or NotImplemented can be called, "
      "and it can be called exactly once. Ignoring duplicate result.";
  EXPECT_EQ(reports.Lines(), (std::vector<std::string>{duplicate, duplicate}));
  EXPECT_EQ(VelkEmbedderGetCounters(engine_.engine()).rejected_responses, 0u);
}

TEST_F(MethodChannelTest, ReportsAResultDroppedUnanswered) {
  channel_.SetCallHandler(
      [](const MethodCall&, std::unique_ptr<MethodResult>) {});
  ReportCapture reports;
  EXPECT_TRUE(Call(kGetStatusCall).empty());
  EXPECT_EQ(reports.Lines(),
            std::vector<std::string>{"Warning: Failed to respond to a message. "
                                     "This is a memory leak."});
  // The interface still waits: the embedder's handle stays open.
  EXPECT_EQ(VelkEmbedderGetCounters(engine_.engine()).open_responses, 1u);
}

TEST_F(MethodChannelTest, AnswersLaterFromAnotherThread) {
  std::unique_ptr<MethodResult> kept;
  std::string kept_method;
  channel_.SetCallHandler(
      [&](const MethodCall& call, std::unique_ptr<MethodResult> result) {
        kept_method = call.method_name();  // the call dies with the handler
        kept = std::move(result);
      });
  ResponseLog responses;
  Deliver(engine_, kChannel, kGetStatusCall, &responses);
  EXPECT_EQ(responses.Count(), 0u);

  std::thread worker([result = std::move(kept)] {
    result->Success(EncodableValue("connected"));
  });
  worker.join();
  EXPECT_EQ(kept_method, "getStatus");
  EXPECT_EQ(responses.Only(), Hex("00 07 09") + Text("connected"));
  EXPECT_EQ(VelkEmbedderGetCounters(engine_.engine()).open_responses, 0u);
}

TEST_F(MethodChannelTest, ReplacesAndRemovesItsHandler) {
  int first = 0;
  int second = 0;
  channel_.SetCallHandler(
      [&](const MethodCall&, std::unique_ptr<MethodResult> result) {
        ++first;
        result->Success();
      });
  channel_.SetCallHandler(
      [&](const MethodCall&, std::unique_ptr<MethodResult> result) {
        ++second;
        result->Success();
      });
  Call(kGetStatusCall);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);

  channel_.SetCallHandler(nullptr);
  ResponseLog responses;
  // Nobody listens on the channel any more: the embedder answers with no data.
  EXPECT_FALSE(Deliver(engine_, kChannel, kGetStatusCall, &responses));
  EXPECT_EQ(second, 1);
}

TEST_F(MethodChannelTest, HandlerMayRemoveItselfWhileHandling) {
  channel_.SetCallHandler(
      [this](const MethodCall&, std::unique_ptr<MethodResult> result) {
        channel_.SetCallHandler(nullptr);
        result->Success();
      });
  EXPECT_EQ(Call(kGetStatusCall), std::vector<Bytes>{Hex("00 00")});
  ResponseLog responses;
  EXPECT_FALSE(Deliver(engine_, kChannel, kGetStatusCall, &responses));
}

}  // namespace
}  // namespace velk::test
