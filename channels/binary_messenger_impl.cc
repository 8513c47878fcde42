#include "channels/binary_messenger_impl.h"

#include <iostream>
#include <memory>
#include <utility>

#include "common/thread_annotations.h"

namespace flutter {

namespace {

// The embedder's messenger lock, as a lock that the analysis knows.
class CAPABILITY("messenger lock") MessengerLock {
 public:
  explicit MessengerLock(FlutterDesktopMessengerRef messenger)
      : messenger_(messenger) {}

  void Lock() ACQUIRE() { FlutterDesktopMessengerLock(messenger_); }
  void Unlock() RELEASE() { FlutterDesktopMessengerUnlock(messenger_); }

 private:
  FlutterDesktopMessengerRef messenger_;
};

// The answer owed for one incoming message, shared by every copy of its
// reply. It holds a reference on the messenger, so a reply that outlives the
// engine still finds a valid (unavailable) messenger; the last copy to go
// releases it. `answered_` is shared rather than per copy so that two
// copies can never both hand the embedder the same response handle.
class PendingResponse {
 public:
  PendingResponse(FlutterDesktopMessengerRef messenger,
                  const FlutterDesktopMessageResponseHandle* handle)
      : messenger_(FlutterDesktopMessengerAddRef(messenger)),
        lock_(messenger_),
        handle_(handle) {}
  ~PendingResponse() { FlutterDesktopMessengerRelease(messenger_); }

  PendingResponse(const PendingResponse&) = delete;
  PendingResponse& operator=(const PendingResponse&) = delete;

  // Any thread.
  void Send(const uint8_t* data, size_t size) {
    const velk::ScopedLock<MessengerLock> hold(lock_);
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
  MessengerLock lock_;
  const FlutterDesktopMessageResponseHandle* handle_;
  bool answered_ GUARDED_BY(lock_) = false;
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
    (void)heap_reply.release();
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
