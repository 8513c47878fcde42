#ifndef CHANNELS_STANDARD_METHOD_CODEC_H_
#define CHANNELS_STANDARD_METHOD_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "channels/method_codec.h"
#include "channels/standard_codec_serializer.h"

namespace flutter {

// The method codec of the standard message encoding. A call is the method
// name as a string value followed by the arguments value; a success reply is
// 00 and the result; an error reply is 01, the code, the message (null when
// empty) and the details; not-implemented is the empty reply.
class StandardMethodCodec : public MethodCodec {
 public:
  // The one codec for `serializer` (null: the shared standard serializer),
  // created on first request and kept for the life of the process.
  static const StandardMethodCodec& ForSerializer(
      const StandardCodecSerializer* serializer);

  ~StandardMethodCodec() override = default;

  std::unique_ptr<MethodCall> DecodeCall(const uint8_t* message,
                                         size_t size) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeCall(
      const MethodCall& call) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeSuccessReply(
      const EncodableValue* result) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeErrorReply(
      const std::string& error_code, const std::string& error_message,
      const EncodableValue* error_details) const override;
  bool DecodeReplyInto(const uint8_t* reply, size_t size,
                       MethodResult* result) const override;

 private:
  explicit StandardMethodCodec(const StandardCodecSerializer* serializer)
      : serializer_(serializer) {}

  const StandardCodecSerializer* serializer_;  // not owned
};

}  // namespace flutter

#endif  // CHANNELS_STANDARD_METHOD_CODEC_H_
