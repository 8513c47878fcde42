#ifndef CHANNELS_ENGINE_METHOD_RESULT_H_
#define CHANNELS_ENGINE_METHOD_RESULT_H_

#include <string>

#include "channels/binary_messenger.h"
#include "channels/method_codec.h"
#include "channels/method_result.h"
#include "channels/one_shot_reply.h"

namespace flutter {

// The MethodResult of one incoming call: encodes the reply with the
// channel's codec and sends it once through the messenger.
class EngineMethodResult : public MethodResult {
 public:
  EngineMethodResult(ChannelReply reply, const MethodCodec* codec);
  ~EngineMethodResult() override = default;

 protected:
  void OnSuccess(const EncodableValue* result) override;
  void OnError(const std::string& error_code, const std::string& error_message,
               const EncodableValue* error_details) override;
  void OnNotImplemented() override;

 private:
  OneShotReply reply_;
  const MethodCodec* codec_;  // not owned
};

}  // namespace flutter

#endif  // CHANNELS_ENGINE_METHOD_RESULT_H_
