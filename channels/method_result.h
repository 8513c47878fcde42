#ifndef CHANNELS_METHOD_RESULT_H_
#define CHANNELS_METHOD_RESULT_H_

#include <string>

#include "channels/encodable_value.h"

namespace flutter {

// The one reply to a method call: a result, an error or not-implemented.
// Complete it once, on any thread; only one thread may complete it.
class MethodResult {
 public:
  MethodResult() = default;
  virtual ~MethodResult() = default;

  MethodResult(const MethodResult&) = delete;
  MethodResult& operator=(const MethodResult&) = delete;

  void Success(const EncodableValue& result) { OnSuccess(&result); }
  void Success() { OnSuccess(nullptr); }

  void Error(const std::string& error_code,
             const std::string& error_message = "") {
    OnError(error_code, error_message, nullptr);
  }
  void Error(const std::string& error_code, const std::string& error_message,
             const EncodableValue& error_details) {
    OnError(error_code, error_message, &error_details);
  }

  void NotImplemented() { OnNotImplemented(); }

 protected:
  // `result` and `error_details` are null when there are none.
  virtual void OnSuccess(const EncodableValue* result) = 0;
  virtual void OnError(const std::string& error_code,
                       const std::string& error_message,
                       const EncodableValue* error_details) = 0;
  virtual void OnNotImplemented() = 0;
};

}  // namespace flutter

#endif  // CHANNELS_METHOD_RESULT_H_
