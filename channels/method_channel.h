#ifndef CHANNELS_METHOD_CHANNEL_H_
#define CHANNELS_METHOD_CHANNEL_H_

#include <functional>
#include <memory>
#include <string>

#include "channels/binary_messenger.h"
#include "channels/method_call.h"
#include "channels/method_codec.h"
#include "channels/method_result.h"

namespace flutter {

// A native method handler: the call is valid only while the handler runs;
// the result is the handler's to complete, now or later.
using MethodCallCallback = std::function<void(
    const MethodCall& call, std::unique_ptr<MethodResult> result)>;

// Ties a channel name on a messenger to a native method handler. The handler
// lives in the messenger: destroying the channel does not remove it.
class MethodChannel {
 public:
  // `messenger` and `codec` are not owned and must outlive the handler.
  MethodChannel(BinaryMessenger* messenger, const std::string& name,
                const MethodCodec* codec);
  ~MethodChannel() = default;

  MethodChannel(const MethodChannel&) = delete;
  MethodChannel& operator=(const MethodChannel&) = delete;

  // Registers `handler` for the channel, replacing an earlier one; an empty
  // handler removes it. Every incoming message gets exactly one reply: an
  // undecodable one is answered as not implemented.
  void SetCallHandler(MethodCallCallback handler);

 private:
  BinaryMessenger* messenger_;
  std::string name_;
  const MethodCodec* codec_;
};

}  // namespace flutter

#endif  // CHANNELS_METHOD_CHANNEL_H_
