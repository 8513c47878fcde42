// The channel layer end to end over the stand-in embedder's messenger: a
// "getConnectedSince" call (deliver, decode the call, run the handler, encode
// the reply, answer the handle) and a status event sent through a sink.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "channels/event_channel.h"
#include "channels/flutter_engine.h"
#include "channels/method_channel.h"
#include "channels/standard_method_codec.h"
#include "channels/stream_handler_functions.h"
#include "interfaces/vpn_channels.h"
#include "stand_ins/embedder/embedder_testing.h"

namespace {

using flutter::EncodableValue;

struct ReplySize {
  size_t bytes = 0;
  static void Record(const uint8_t*, size_t size, void* user_data) {
    static_cast<ReplySize*>(user_data)->bytes = size;
  }
};

void BM_GetConnectedSinceCall(benchmark::State& state) {
  const char* const kChannel = velk::vpn_channels::kControlChannel;
  flutter::FlutterEngine engine(flutter::EngineProjectIn(L"data"));
  flutter::MethodChannel channel(
      engine.GetMessenger(), kChannel,
      &flutter::StandardMethodCodec::ForSerializer(nullptr));
  const int64_t connected_since = 1796000000000;  // ms since 1970
  channel.SetCallHandler(
      [connected_since](const flutter::MethodCall& call,
                        std::unique_ptr<flutter::MethodResult> result) {
        if (call.method_name() == "getConnectedSince") {
          result->Success(EncodableValue(connected_since));
        } else {
          result->NotImplemented();
        }
      });
  // 07 11 "getConnectedSince" 00
  std::string name = "getConnectedSince";
  std::vector<uint8_t> message = {0x07, static_cast<uint8_t>(name.size())};
  message.insert(message.end(), name.begin(), name.end());
  message.push_back(0x00);

  ReplySize reply;
  for (auto _ : state) {
    VelkEmbedderDeliverMessage(engine.engine(), kChannel, message.data(),
                               message.size(), &ReplySize::Record, &reply);
    benchmark::DoNotOptimize(reply.bytes);
  }
  // 00, then int64: 04 and eight bytes.
  if (reply.bytes != 10) state.SkipWithError("unexpected reply");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetConnectedSinceCall);

void BM_StatusEvent(benchmark::State& state) {
  const char* const kChannel = velk::vpn_channels::kStatusChannel;
  flutter::FlutterEngine engine(flutter::EngineProjectIn(L"data"));
  flutter::EventChannel channel(
      engine.GetMessenger(), kChannel,
      &flutter::StandardMethodCodec::ForSerializer(nullptr));
  std::unique_ptr<flutter::EventSink> sink;
  channel.AttachStreamHandler(std::make_unique<flutter::StreamHandlerFunctions>(
      [&sink](const EncodableValue*,
              std::unique_ptr<flutter::EventSink>&& events)
          -> std::unique_ptr<flutter::StreamHandlerError> {
        sink = std::move(events);
        return nullptr;
      },
      nullptr));
  // 07 06 "listen" 00
  const std::vector<uint8_t> listen = {0x07, 0x06, 'l', 'i', 's',
                                       't',  'e',  'n', 0x00};
  ReplySize reply;
  VelkEmbedderDeliverMessage(engine.engine(), kChannel, listen.data(),
                             listen.size(), &ReplySize::Record, &reply);
  if (!sink) {
    state.SkipWithError("no sink");
    return;
  }
  size_t sent_bytes = 0;
  VelkEmbedderSetOutgoingObserver(
      engine.engine(),
      [](const char*, const uint8_t*, size_t size, bool, void* user_data) {
        *static_cast<size_t*>(user_data) += size;
      },
      &sent_bytes);
  const EncodableValue status("connected");
  for (auto _ : state) {
    sink->SendEvent(status);
  }
  // 00 07 09 "connected": 12 bytes per event.
  if (sent_bytes != 12 * static_cast<size_t>(state.iterations()))
    state.SkipWithError("lost events");
  state.SetItemsProcessed(state.iterations());
  VelkEmbedderSetOutgoingObserver(engine.engine(), nullptr, nullptr);
  sink.reset();
}
BENCHMARK(BM_StatusEvent);

}  // namespace

BENCHMARK_MAIN();
