#ifndef CHANNELS_BINARY_MESSENGER_IMPL_H_
#define CHANNELS_BINARY_MESSENGER_IMPL_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "channels/binary_messenger.h"
#include "interfaces/embedder.h"

namespace flutter {

// The BinaryMessenger over the embedder's messenger: one handler per channel
// name, and for each incoming message a reply that may be called later and
// from any thread.
class BinaryMessengerImpl : public BinaryMessenger {
 public:
  explicit BinaryMessengerImpl(FlutterDesktopMessengerRef messenger);
  ~BinaryMessengerImpl() override;

  BinaryMessengerImpl(const BinaryMessengerImpl&) = delete;
  BinaryMessengerImpl& operator=(const BinaryMessengerImpl&) = delete;

  void SendMessage(const std::string& channel, const uint8_t* message,
                   size_t size, ChannelReply reply) override;
  void SetChannelHandler(const std::string& channel,
                         ChannelMessageHandler handler) override;

  // The embedder's entry points: an incoming message for the handler at
  // `user_data`, and the reply to a sent message for the heap copy of its
  // ChannelReply at `user_data`.
  static void DispatchIncomingMessage(FlutterDesktopMessengerRef messenger,
                                      const FlutterDesktopMessage* message,
                                      void* user_data);
  static void DispatchReply(const uint8_t* data, size_t size, void* user_data);

 private:
  FlutterDesktopMessengerRef messenger_;
  // Node-based, so the address of a handler that the embedder holds stays
  // valid until its entry is erased.
  std::map<std::string, ChannelMessageHandler> handlers_;
};

}  // namespace flutter

#endif  // CHANNELS_BINARY_MESSENGER_IMPL_H_
