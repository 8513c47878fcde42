#ifndef CHANNELS_STREAM_HANDLER_H_
#define CHANNELS_STREAM_HANDLER_H_

#include <memory>
#include <string>
#include <utility>

#include "channels/encodable_value.h"
#include "channels/event_sink.h"

namespace flutter {

// Why a stream handler refused to start or stop listening; the interface
// gets it as an error reply.
struct StreamHandlerError {
  StreamHandlerError(const std::string& error_code,
                     const std::string& error_message,
                     std::unique_ptr<EncodableValue> error_details)
      : error_code(error_code),
        error_message(error_message),
        error_details(std::move(error_details)) {}

  const std::string error_code;
  const std::string error_message;
  const std::unique_ptr<EncodableValue> error_details;  // may be null
};

// The native side of an event channel: starts and stops the stream when the
// interface listens and cancels. Runs on the platform thread. None means
// success.
class StreamHandler {
 public:
  StreamHandler() = default;
  virtual ~StreamHandler() = default;

  StreamHandler(const StreamHandler&) = delete;
  StreamHandler& operator=(const StreamHandler&) = delete;

  // `arguments` may be null; the handler owns `events` from here on and must
  // not let it outlive the messenger.
  std::unique_ptr<StreamHandlerError> OnListen(
      const EncodableValue* arguments, std::unique_ptr<EventSink>&& events) {
    return OnListenInternal(arguments, std::move(events));
  }
  std::unique_ptr<StreamHandlerError> OnCancel(
      const EncodableValue* arguments) {
    return OnCancelInternal(arguments);
  }

 protected:
  virtual std::unique_ptr<StreamHandlerError> OnListenInternal(
      const EncodableValue* arguments, std::unique_ptr<EventSink>&& events) = 0;
  virtual std::unique_ptr<StreamHandlerError> OnCancelInternal(
      const EncodableValue* arguments) = 0;
};

}  // namespace flutter

#endif  // CHANNELS_STREAM_HANDLER_H_
