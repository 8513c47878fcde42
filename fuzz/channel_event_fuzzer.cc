// Arbitrary messages arriving on an event channel, several per input so that
// the listen/cancel state is explored: every message gets exactly one reply,
// and events sent from the stream handler reach the embedder.
//
// Input: a sequence of messages, each one length byte and that many bytes
// (the last one takes what is left).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>

#include "channels/event_channel.h"
#include "channels/standard_method_codec.h"
#include "channels/stream_handler_functions.h"
#include "fuzz/channel_fuzz_support.h"
#include "interfaces/vpn_channels.h"

namespace {

using flutter::EncodableValue;
using flutter::EventSink;
using flutter::StreamHandlerError;

// Refuses when the arguments are a string, and otherwise sends them back as
// an event; keeps the sink until cancelled.
std::unique_ptr<flutter::StreamHandler> MakeHandler(
    std::unique_ptr<EventSink>* sink) {
  return std::make_unique<flutter::StreamHandlerFunctions>(
      [sink](const EncodableValue* arguments,
             std::unique_ptr<EventSink>&& events)
          -> std::unique_ptr<StreamHandlerError> {
        *sink = std::move(events);
        if (arguments != nullptr &&
            std::holds_alternative<std::string>(*arguments)) {
          return std::make_unique<StreamHandlerError>(
              "error", std::get<std::string>(*arguments),
              std::make_unique<EncodableValue>(*arguments));
        }
        (*sink)->SendEvent(arguments == nullptr ? EncodableValue()
                                                : *arguments);
        return nullptr;
      },
      [sink](const EncodableValue* arguments)
          -> std::unique_ptr<StreamHandlerError> {
        if (*sink) (*sink)->SendEndOfStream();
        sink->reset();
        if (arguments != nullptr && arguments->IsNull()) return nullptr;
        return std::make_unique<StreamHandlerError>("cancel", "", nullptr);
      });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  velk::fuzz::SilenceChannelReports();
  const char* const kChannel = velk::vpn_channels::kStatusChannel;
  flutter::FlutterEngine engine(flutter::EngineProjectIn(L"data"));
  flutter::EventChannel channel(
      engine.GetMessenger(), kChannel,
      &flutter::StandardMethodCodec::ForSerializer(nullptr));
  std::unique_ptr<EventSink> sink;
  channel.AttachStreamHandler(MakeHandler(&sink));

  size_t position = 0;
  while (position < size) {
    size_t length = data[position++];
    if (length > size - position) length = size - position;
    velk::fuzz::DeliverExpectingOneAnswer(engine, kChannel, data + position,
                                          length);
    position += length;
  }
  // The sink must not outlive the messenger.
  sink.reset();
  return 0;
}
