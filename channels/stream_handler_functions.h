#ifndef CHANNELS_STREAM_HANDLER_FUNCTIONS_H_
#define CHANNELS_STREAM_HANDLER_FUNCTIONS_H_

#include <functional>
#include <memory>

#include "channels/encodable_value.h"
#include "channels/event_sink.h"
#include "channels/stream_handler.h"

namespace flutter {

using ListenFunction = std::function<std::unique_ptr<StreamHandlerError>(
    const EncodableValue* arguments, std::unique_ptr<EventSink>&& events)>;
using CancelFunction = std::function<std::unique_ptr<StreamHandlerError>(
    const EncodableValue* arguments)>;

// A StreamHandler made of two callables. A missing one answers with an
// error, so the interface learns that nobody handles the request.
class StreamHandlerFunctions : public StreamHandler {
 public:
  StreamHandlerFunctions(ListenFunction on_listen, CancelFunction on_cancel);
  ~StreamHandlerFunctions() override = default;

 protected:
  std::unique_ptr<StreamHandlerError> OnListenInternal(
      const EncodableValue* arguments,
      std::unique_ptr<EventSink>&& events) override;
  std::unique_ptr<StreamHandlerError> OnCancelInternal(
      const EncodableValue* arguments) override;

 private:
  ListenFunction on_listen_;
  CancelFunction on_cancel_;
};

}  // namespace flutter

#endif  // CHANNELS_STREAM_HANDLER_FUNCTIONS_H_
