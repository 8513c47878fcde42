#ifndef CHANNELS_EVENT_SINK_H_
#define CHANNELS_EVENT_SINK_H_

#include <string>

#include "channels/encodable_value.h"

namespace flutter {

// Where a stream handler sends the events of one listen: values, errors and
// the end of the stream. Used on the platform thread.
class EventSink {
 public:
  EventSink() = default;
  virtual ~EventSink() = default;

  EventSink(const EventSink&) = delete;
  EventSink& operator=(const EventSink&) = delete;

  void SendEvent(const EncodableValue& event) { SuccessInternal(&event); }
  void SendEvent() { SuccessInternal(nullptr); }

  void SendError(const std::string& error_code,
                 const std::string& error_message = "") {
    ErrorInternal(error_code, error_message, nullptr);
  }
  void SendError(const std::string& error_code,
                 const std::string& error_message,
                 const EncodableValue& error_details) {
    ErrorInternal(error_code, error_message, &error_details);
  }

  void SendEndOfStream() { EndOfStreamInternal(); }

 protected:
  // `event` and `error_details` are null when there are none.
  virtual void SuccessInternal(const EncodableValue* event) = 0;
  virtual void ErrorInternal(const std::string& error_code,
                             const std::string& error_message,
                             const EncodableValue* error_details) = 0;
  virtual void EndOfStreamInternal() = 0;
};

}  // namespace flutter

#endif  // CHANNELS_EVENT_SINK_H_
