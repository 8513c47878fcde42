#ifndef CHANNELS_EVENT_CHANNEL_H_
#define CHANNELS_EVENT_CHANNEL_H_

#include <memory>
#include <string>

#include "channels/binary_messenger.h"
#include "channels/event_sink.h"
#include "channels/method_codec.h"
#include "channels/stream_handler.h"

namespace flutter {

// A stream of values from the native side to the interface. The interface
// calls "listen" and "cancel" on the channel; while it listens, the stream
// handler sends events as new messages on the same channel name.
class EventChannel {
 public:
  // `messenger` and `codec` are not owned and must outlive the handler.
  EventChannel(BinaryMessenger* messenger, const std::string& name,
               const MethodCodec* codec);
  ~EventChannel() = default;

  EventChannel(const EventChannel&) = delete;
  EventChannel& operator=(const EventChannel&) = delete;

  // Registers `handler` for the channel, replacing an earlier one (the new
  // one starts not listening); null removes it. The registration lives in
  // the messenger: destroying the channel does not remove it.
  void AttachStreamHandler(std::unique_ptr<StreamHandler> handler);

  // The sink of one listen: sends on the channel name, expecting no reply.
  class EventSinkImplementation : public EventSink {
   public:
    EventSinkImplementation(BinaryMessenger* messenger, const std::string& name,
                            const MethodCodec* codec);
    ~EventSinkImplementation() override = default;

   private:
    void SuccessInternal(const EncodableValue* event) override;
    void ErrorInternal(const std::string& error_code,
                       const std::string& error_message,
                       const EncodableValue* error_details) override;
    void EndOfStreamInternal() override;

    BinaryMessenger* messenger_;  // not owned
    std::string name_;
    const MethodCodec* codec_;  // not owned
  };

 private:
  BinaryMessenger* messenger_;
  std::string name_;
  const MethodCodec* codec_;
};

}  // namespace flutter

#endif  // CHANNELS_EVENT_CHANNEL_H_
