#ifndef CHANNELS_METHOD_CODEC_H_
#define CHANNELS_METHOD_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "channels/encodable_value.h"
#include "channels/method_call.h"
#include "channels/method_result.h"

namespace flutter {

// Turns method calls and their replies into messages and back.
class MethodCodec {
 public:
  MethodCodec() = default;
  virtual ~MethodCodec() = default;

  MethodCodec(const MethodCodec&) = delete;
  MethodCodec& operator=(const MethodCodec&) = delete;

  // None when the message is not a valid call.
  virtual std::unique_ptr<MethodCall> DecodeCall(const uint8_t* message,
                                                 size_t size) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeCall(
      const MethodCall& call) const = 0;
  // `result` and `error_details` may be null.
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeSuccessReply(
      const EncodableValue* result) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeErrorReply(
      const std::string& error_code, const std::string& error_message,
      const EncodableValue* error_details) const = 0;
  // Completes `result` from an encoded reply; false when it is not one.
  virtual bool DecodeReplyInto(const uint8_t* reply, size_t size,
                               MethodResult* result) const = 0;
};

}  // namespace flutter

#endif  // CHANNELS_METHOD_CODEC_H_
