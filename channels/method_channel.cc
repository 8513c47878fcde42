#include "channels/method_channel.h"

#include <iostream>
#include <utility>

#include "channels/engine_method_result.h"

namespace flutter {

MethodChannel::MethodChannel(BinaryMessenger* messenger,
                             const std::string& name, const MethodCodec* codec)
    : messenger_(messenger), name_(name), codec_(codec) {}

void MethodChannel::SetCallHandler(MethodCallCallback handler) {
  if (!handler) {
    messenger_->SetChannelHandler(name_, nullptr);
    return;
  }
  const MethodCodec* codec = codec_;
  std::string channel_name = name_;
  messenger_->SetChannelHandler(
      name_, [handler = std::move(handler), codec, channel_name](
                 const uint8_t* message, size_t size, ChannelReply reply) {
        // The result exists before decoding, so even an undecodable message
        // is answered.
        auto result =
            std::make_unique<EngineMethodResult>(std::move(reply), codec);
        std::unique_ptr<MethodCall> call = codec->DecodeCall(message, size);
        if (!call) {
          std::cerr << "Unable to construct method call from message on "
                       "channel "
                    << channel_name << std::endl;
          result->NotImplemented();
          return;
        }
        handler(*call, std::move(result));
      });
}

}  // namespace flutter
