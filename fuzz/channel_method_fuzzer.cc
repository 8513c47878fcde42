// Arbitrary bytes arriving on a method channel: every message gets exactly
// one reply, and every non-empty reply is one the codec understands.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "channels/method_channel.h"
#include "channels/standard_method_codec.h"
#include "fuzz/channel_fuzz_support.h"
#include "interfaces/vpn_channels.h"

namespace {

using flutter::EncodableValue;
using flutter::MethodCall;
using flutter::MethodResult;

// Accepts any well-formed reply.
class AnyReply : public MethodResult {
 protected:
  void OnSuccess(const EncodableValue*) override {}
  void OnError(const std::string&, const std::string&,
               const EncodableValue*) override {}
  void OnNotImplemented() override {}
};

// Answers in a way picked by the method name, so that the fuzzer reaches
// every kind of completion, including a second one and one from a result
// that was passed on before it was completed.
void Handle(const MethodCall& call, std::unique_ptr<MethodResult> result) {
  const std::string& method = call.method_name();
  const EncodableValue& arguments = *call.arguments();
  switch (method.empty() ? 0 : static_cast<uint8_t>(method[0]) % 5) {
    case 0:
      result->Success(arguments);
      break;
    case 1:
      result->Error(method, method, arguments);
      break;
    case 2:
      result->NotImplemented();
      result->Success();
      break;
    case 3: {
      std::unique_ptr<MethodResult> passed_on = std::move(result);
      passed_on->Error(method);
      break;
    }
    default:
      result->Success();
      result->Error("late", "late");
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  velk::fuzz::SilenceChannelReports();
  const char* const kChannel = velk::vpn_channels::kControlChannel;
  flutter::FlutterEngine engine(flutter::EngineProjectIn(L"data"));
  const flutter::StandardMethodCodec& codec =
      flutter::StandardMethodCodec::ForSerializer(nullptr);
  flutter::MethodChannel channel(engine.GetMessenger(), kChannel, &codec);
  channel.SetCallHandler(&Handle);

  velk::fuzz::Answers answers =
      velk::fuzz::DeliverExpectingOneAnswer(engine, kChannel, data, size);
  AnyReply any;
  if (!answers.last.empty() &&
      !codec.DecodeReplyInto(answers.last.data(), answers.last.size(), &any)) {
    std::abort();
  }
  return 0;
}
