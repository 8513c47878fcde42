#include "channels/engine_method_result.h"

#include <utility>

namespace flutter {

EngineMethodResult::EngineMethodResult(ChannelReply reply,
                                       const MethodCodec* codec)
    : reply_(std::move(reply)), codec_(codec) {}

void EngineMethodResult::OnSuccess(const EncodableValue* result) {
  auto message = codec_->EncodeSuccessReply(result);
  reply_.Send(message.get());
}

void EngineMethodResult::OnError(const std::string& error_code,
                                 const std::string& error_message,
                                 const EncodableValue* error_details) {
  auto message =
      codec_->EncodeErrorReply(error_code, error_message, error_details);
  reply_.Send(message.get());
}

void EngineMethodResult::OnNotImplemented() { reply_.Send(nullptr); }

}  // namespace flutter
