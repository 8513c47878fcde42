#include "channels/event_channel.h"

#include <iostream>
#include <utility>
#include <vector>

namespace flutter {

namespace {

constexpr char kListenMethod[] = "listen";
constexpr char kCancelMethod[] = "cancel";

// What one registration of a stream handler remembers between messages. The
// messenger may copy its handler callable, so the state lives behind a
// shared pointer that every copy refers to.
struct StreamState {
  std::unique_ptr<StreamHandler> handler;
  bool listening = false;
};

std::unique_ptr<std::vector<uint8_t>> EncodeOutcome(
    const MethodCodec* codec, const StreamHandlerError* error) {
  if (error == nullptr) return codec->EncodeSuccessReply(nullptr);
  return codec->EncodeErrorReply(error->error_code, error->error_message,
                                 error->error_details.get());
}

}  // namespace

EventChannel::EventChannel(BinaryMessenger* messenger, const std::string& name,
                           const MethodCodec* codec)
    : messenger_(messenger), name_(name), codec_(codec) {}

void EventChannel::AttachStreamHandler(std::unique_ptr<StreamHandler> handler) {
  if (!handler) {
    messenger_->SetChannelHandler(name_, nullptr);
    return;
  }
  auto state = std::make_shared<StreamState>();
  state->handler = std::move(handler);
  const MethodCodec* codec = codec_;
  std::string channel_name = name_;
  BinaryMessenger* messenger = messenger_;
  messenger_->SetChannelHandler(name_, [state, codec, channel_name, messenger](
                                           const uint8_t* message, size_t size,
                                           ChannelReply reply) {
    std::unique_ptr<MethodCall> call = codec->DecodeCall(message, size);
    if (!call) {
      std::cerr << "Unable to construct method call from message on "
                   "channel: "
                << channel_name << std::endl;
      reply(nullptr, 0);
      return;
    }
    const std::string& method = call->method_name();
    if (method == kListenMethod) {
      if (state->listening) {
        std::unique_ptr<StreamHandlerError> error =
            state->handler->OnCancel(nullptr);
        if (error) {
          std::cerr << "Failed to cancel existing stream: " << error->error_code
                    << ", " << error->error_message << ", "
                    << static_cast<const void*>(error->error_details.get());
        }
      }
      // Listening from here on, even when the handler refuses: a
      // following "cancel" still reaches it.
      state->listening = true;
      auto sink = std::make_unique<EventChannel::EventSinkImplementation>(
          messenger, channel_name, codec);
      std::unique_ptr<StreamHandlerError> error =
          state->handler->OnListen(call->arguments(), std::move(sink));
      auto outcome = EncodeOutcome(codec, error.get());
      reply(outcome->data(), outcome->size());
    } else if (method == kCancelMethod) {
      std::unique_ptr<std::vector<uint8_t>> outcome;
      if (state->listening) {
        std::unique_ptr<StreamHandlerError> error =
            state->handler->OnCancel(call->arguments());
        outcome = EncodeOutcome(codec, error.get());
        state->listening = false;
      } else {
        outcome = codec->EncodeErrorReply("error", "No active stream to cancel",
                                          nullptr);
      }
      reply(outcome->data(), outcome->size());
    } else {
      reply(nullptr, 0);
    }
  });
}

EventChannel::EventSinkImplementation::EventSinkImplementation(
    BinaryMessenger* messenger, const std::string& name,
    const MethodCodec* codec)
    : messenger_(messenger), name_(name), codec_(codec) {}

void EventChannel::EventSinkImplementation::SuccessInternal(
    const EncodableValue* event) {
  auto message = codec_->EncodeSuccessReply(event);
  messenger_->SendMessage(name_, message->data(), message->size(), nullptr);
}

void EventChannel::EventSinkImplementation::ErrorInternal(
    const std::string& error_code, const std::string& error_message,
    const EncodableValue* error_details) {
  auto message =
      codec_->EncodeErrorReply(error_code, error_message, error_details);
  messenger_->SendMessage(name_, message->data(), message->size(), nullptr);
}

void EventChannel::EventSinkImplementation::EndOfStreamInternal() {
  messenger_->SendMessage(name_, nullptr, 0, nullptr);
}

}  // namespace flutter
