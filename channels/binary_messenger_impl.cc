#include "channels/binary_messenger_impl.h"

#include <iostream>
#include <memory>
#include <utility>

namespace flutter {

namespace {

// Holds the embedder's messenger lock for as long as it lives.
class MessengerLock {
 public:
  explicit MessengerLock(FlutterDesktopMessengerRef messenger)
      : messenger_(FlutterDesktopMessengerLock(messenger)) {}
  ~MessengerLock() { FlutterDesktopMessengerUnlock(messenger_); }

  MessengerLock(const MessengerLock&) = delete;
  MessengerLock& operator=(const MessengerLock&) = delete;

 private:
  FlutterDesktopMessengerRef messenger_;
};

// The answer owed for one incoming message, shared by every copy of its
// reply. It holds a reference on the messenger, so a reply that outlives the
// engine still finds a valid (unavailable) messenger; the last copy to go
// releases it. `answered` is shared rather than per copy so that two copies
// can never both hand the embedder the same response handle; it is only
// touched under the messenger lock.
class PendingResponse {
 public:
  PendingResponse(FlutterDesktopMessengerRef messenger,
                  const FlutterDesktopMessageResponseHandle* handle)
      : messenger_(FlutterDesktopMessengerAddRef(messenger)), handle_(handle) {}
  ~PendingResponse() { FlutterDesktopMessengerRelease(messenger_); }

  PendingResponse(const PendingResponse&) = delete;
  PendingResponse& operator=(const PendingResponse&) = delete;

  // Any thread.
  void Send(const uint8_t* data, size_t size) {
    const MessengerLock lock(messenger_);
    if (!FlutterDesktopMessengerIsAvailable(messenger_)) {
      // The engine is gone and nobody waits for the answer any more.
    } else if (answered_) {
      std::cerr << "Error: Response can be set only once. Ignoring duplicate "
                   "response."
                << std::endl;
    } else {
      FlutterDesktopMessengerSendResponse(messenger_, handle_, data, size);
      answered_ = true;
    }
  }

 private:
  FlutterDesktopMessengerRef messenger_;
  const FlutterDesktopMessageResponseHandle* handle_;
  bool answered_ = false;
};

}  // namespace

BinaryMessengerImpl::BinaryMessengerImpl(FlutterDesktopMessengerRef messenger)
    : messenger_(messenger) {}

BinaryMessengerImpl::~BinaryMessengerImpl() = default;

void BinaryMessengerImpl::SendMessage(const std::string& channel,
                                      const uint8_t* message, size_t size,
                                      ChannelReply reply) {
  // Without an engine there is nobody to send to; the reply never comes.
  if (messenger_ == nullptr) return;
  if (!reply) {
    // Fire and forget: whether the embedder took it changes nothing here.
    (void)FlutterDesktopMessengerSend(messenger_, channel.c_str(), message,
                                      size);
    return;
  }
  auto heap_reply = std::make_unique<ChannelReply>(std::move(reply));
  if (FlutterDesktopMessengerSendWithReply(messenger_, channel.c_str(), message,
                                           size, &DispatchReply,
                                           heap_reply.get())) {
    // DispatchReply frees it when the answer comes.
    heap_reply.release();
  }
}

void BinaryMessengerImpl::SetChannelHandler(const std::string& channel,
                                            ChannelMessageHandler handler) {
  if (!handler) {
    handlers_.erase(channel);
    if (messenger_ == nullptr) return;
    FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(), nullptr,
                                       nullptr);
    return;
  }
  ChannelMessageHandler& entry = handlers_[channel];
  entry = std::move(handler);
  if (messenger_ == nullptr) return;
  FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(),
                                     &DispatchIncomingMessage, &entry);
}

void BinaryMessengerImpl::DispatchIncomingMessage(
    FlutterDesktopMessengerRef messenger, const FlutterDesktopMessage* message,
    void* user_data) {
  // A copy runs, so a handler that replaces or removes itself while it
  // handles the message does not destroy the code that is running.
  ChannelMessageHandler handler =
      *static_cast<const ChannelMessageHandler*>(user_data);
  auto pending =
      std::make_shared<PendingResponse>(messenger, message->response_handle);
  ChannelReply reply = [pending](const uint8_t* data, size_t size) {
    pending->Send(data, size);
  };
  handler(message->message, message->message_size, std::move(reply));
}

void BinaryMessengerImpl::DispatchReply(const uint8_t* data, size_t size,
                                        void* user_data) {
  std::unique_ptr<ChannelReply> reply(static_cast<ChannelReply*>(user_data));
  (*reply)(data, size);
}

}  // namespace flutter
