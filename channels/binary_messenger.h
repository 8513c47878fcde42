#ifndef CHANNELS_BINARY_MESSENGER_H_
#define CHANNELS_BINARY_MESSENGER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace flutter {

// Sends the reply to one incoming message, or receives the reply to one sent
// message. No data is (nullptr, 0).
using ChannelReply = std::function<void(const uint8_t* data, size_t size)>;

// Handles one incoming message on a channel. The reply may be kept and called
// later, from any thread, once.
using ChannelMessageHandler = std::function<void(
    const uint8_t* message, size_t size, ChannelReply reply)>;

// Byte messages on named channels between the native side and the interface.
// Used on the platform thread, except the replies that handlers are given.
class BinaryMessenger {
 public:
  virtual ~BinaryMessenger() = default;

  // Sends a message; an empty reply means no answer is wanted. The reply is
  // never called when the embedder refuses the message.
  virtual void SendMessage(const std::string& channel, const uint8_t* message,
                           size_t size, ChannelReply reply) = 0;

  // Registers the handler of a channel, replacing an earlier one; an empty
  // handler removes it.
  virtual void SetChannelHandler(const std::string& channel,
                                 ChannelMessageHandler handler) = 0;
};

}  // namespace flutter

#endif  // CHANNELS_BINARY_MESSENGER_H_
