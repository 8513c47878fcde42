#include "channels/standard_method_codec.h"

#include <iostream>
#include <map>
#include <utility>
#include <variant>

#include "channels/byte_streams.h"
#include "common/thread_annotations.h"

namespace flutter {

namespace {

constexpr uint8_t kSuccessEnvelope = 0;
constexpr uint8_t kErrorEnvelope = 1;

}  // namespace

const StandardMethodCodec& StandardMethodCodec::ForSerializer(
    const StandardCodecSerializer* serializer) {
  if (serializer == nullptr) serializer = &SharedSerializer();
  // Channels are normally built on the platform thread, but nothing stops a
  // second thread from asking for a codec; the lock keeps the registry whole.
  static velk::Mutex registry_mutex;
  static auto* registry PT_GUARDED_BY(registry_mutex) =
      new std::map<const StandardCodecSerializer*,
                   std::unique_ptr<StandardMethodCodec>>();
  velk::MutexLock guard(registry_mutex);
  std::unique_ptr<StandardMethodCodec>& codec = (*registry)[serializer];
  if (!codec) codec.reset(new StandardMethodCodec(serializer));
  return *codec;
}

std::unique_ptr<MethodCall> StandardMethodCodec::DecodeCall(
    const uint8_t* message, size_t size) const {
  ByteBufferStreamReader reader(message, size);
  EncodableValue method_name = serializer_->ReadNextValue(&reader);
  auto* name = std::get_if<std::string>(&method_name);
  if (name == nullptr) {
    std::cerr << "Invalid method call; method name is not a string."
              << std::endl;
    return nullptr;
  }
  // A message that ends after the name reads as null arguments (the reader
  // reports the short read); bytes after the arguments are ignored.
  auto arguments =
      std::make_unique<EncodableValue>(serializer_->ReadNextValue(&reader));
  return std::make_unique<MethodCall>(std::move(*name), std::move(arguments));
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeCall(
    const MethodCall& call) const {
  auto message = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter writer(message.get());
  serializer_->WriteValue(EncodableValue(call.method_name()), &writer);
  if (call.arguments() != nullptr) {
    serializer_->WriteValue(*call.arguments(), &writer);
  } else {
    serializer_->WriteValue(EncodableValue(), &writer);
  }
  return message;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeSuccessReply(
    const EncodableValue* result) const {
  auto reply = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter writer(reply.get());
  writer.PutByte(kSuccessEnvelope);
  if (result != nullptr) {
    serializer_->WriteValue(*result, &writer);
  } else {
    serializer_->WriteValue(EncodableValue(), &writer);
  }
  return reply;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeErrorReply(
    const std::string& error_code, const std::string& error_message,
    const EncodableValue* error_details) const {
  auto reply = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter writer(reply.get());
  writer.PutByte(kErrorEnvelope);
  serializer_->WriteValue(EncodableValue(error_code), &writer);
  if (error_message.empty()) {
    serializer_->WriteValue(EncodableValue(), &writer);
  } else {
    serializer_->WriteValue(EncodableValue(error_message), &writer);
  }
  if (error_details != nullptr) {
    serializer_->WriteValue(*error_details, &writer);
  } else {
    serializer_->WriteValue(EncodableValue(), &writer);
  }
  return reply;
}

bool StandardMethodCodec::DecodeReplyInto(const uint8_t* reply, size_t size,
                                          MethodResult* result) const {
  if (size == 0) {
    result->NotImplemented();
    return true;
  }
  ByteBufferStreamReader reader(reply, size);
  uint8_t envelope = reader.GetByte();
  if (envelope == kSuccessEnvelope) {
    EncodableValue value = serializer_->ReadNextValue(&reader);
    if (value.IsNull()) {
      result->Success();
    } else {
      result->Success(value);
    }
    return true;
  }
  if (envelope != kErrorEnvelope) return false;
  EncodableValue code = serializer_->ReadNextValue(&reader);
  EncodableValue message = serializer_->ReadNextValue(&reader);
  EncodableValue details = serializer_->ReadNextValue(&reader);
  // A reply whose code is not a string, or whose message is neither a string
  // nor null, is not one this codec wrote: it is not understood.
  auto* code_text = std::get_if<std::string>(&code);
  auto* message_text = std::get_if<std::string>(&message);
  if (code_text == nullptr || (message_text == nullptr && !message.IsNull())) {
    return false;
  }
  const std::string empty;
  const std::string& message_or_empty =
      message_text != nullptr ? *message_text : empty;
  if (details.IsNull()) {
    result->Error(*code_text, message_or_empty);
  } else {
    result->Error(*code_text, message_or_empty, details);
  }
  return true;
}

}  // namespace flutter
