#ifndef CHANNELS_METHOD_CALL_H_
#define CHANNELS_METHOD_CALL_H_

#include <memory>
#include <string>
#include <utility>

#include "channels/encodable_value.h"

namespace flutter {

// A call of a native method by name, as the interface sent it.
class MethodCall {
 public:
  MethodCall(std::string method_name, std::unique_ptr<EncodableValue> arguments)
      : method_name_(std::move(method_name)),
        arguments_(std::move(arguments)) {}
  virtual ~MethodCall() = default;

  MethodCall(const MethodCall&) = delete;
  MethodCall& operator=(const MethodCall&) = delete;

  const std::string& method_name() const { return method_name_; }
  // Null when the call carries no arguments object; a decoded call always
  // has one, which is a null value when the message carried none.
  const EncodableValue* arguments() const { return arguments_.get(); }

 private:
  std::string method_name_;
  std::unique_ptr<EncodableValue> arguments_;
};

}  // namespace flutter

#endif  // CHANNELS_METHOD_CALL_H_
