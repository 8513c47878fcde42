#ifndef CHANNELS_ENCODABLE_VALUE_H_
#define CHANNELS_ENCODABLE_VALUE_H_

#include <any>
#include <compare>
#include <cstdint>
#include <map>
#include <string>
#include <typeinfo>
#include <utility>
#include <variant>
#include <vector>

namespace flutter {

// An owned, copyable holder of a value of any type, for messages that carry
// application types. The standard codec cannot encode it: it is written as
// null.
class CustomValue {
 public:
  template <typename T>
  explicit CustomValue(T value) : value_(std::move(value)) {}

  // The type of the held object.
  const std::type_info& type() const { return value_.type(); }

  // The held object, or nullptr when it is not a T.
  template <typename T>
  const T* TryGetValue() const {
    return std::any_cast<T>(&value_);
  }

  // Custom values have no meaningful order: they compare by the identity of
  // the holder, so only a holder is equal to itself.
  friend bool operator<(const CustomValue& lhs, const CustomValue& rhs);
  friend bool operator==(const CustomValue& lhs, const CustomValue& rhs) {
    return &lhs == &rhs;
  }

 private:
  std::any value_;
};

using CustomEncodableValue = CustomValue;

class EncodableValue;

using EncodableValueList = std::vector<EncodableValue>;
using EncodableValueMap = std::map<EncodableValue, EncodableValue>;
using EncodableList = EncodableValueList;
using EncodableMap = EncodableValueMap;

namespace internal {
// The alternatives in this order: the index is the type's rank in the key
// order of maps.
using EncodableValueVariant =
    std::variant<std::monostate, bool, int32_t, int64_t, double, std::string,
                 std::vector<uint8_t>, std::vector<int32_t>,
                 std::vector<int64_t>, std::vector<double>, EncodableValueList,
                 EncodableValueMap, CustomEncodableValue, std::vector<float>>;
}  // namespace internal

// The value of every channel message: one of fourteen alternatives. It is a
// std::variant, so std::get, std::get_if, std::holds_alternative and
// std::visit work on it.
class EncodableValue : public internal::EncodableValueVariant {
 public:
  using Variant = internal::EncodableValueVariant;
  using Variant::Variant;
  using Variant::operator=;

  EncodableValue() = default;

  // A character string is a string value, never a boolean.
  EncodableValue(const char* string) : Variant(std::string(string)) {}
  EncodableValue& operator=(const char* string) {
    Variant::operator=(std::string(string));
    return *this;
  }

  bool IsNull() const { return std::holds_alternative<std::monostate>(*this); }

  // The key order of maps: by alternative index first, then by value (numbers
  // numerically, strings by unsigned bytes, lists and maps
  // lexicographically).
  friend bool operator<(const EncodableValue& lhs, const EncodableValue& rhs);
  friend bool operator==(const EncodableValue& lhs, const EncodableValue& rhs);
  // Consistent with operator<. Declared so that comparisons never fall back
  // to std::variant's own operator<=>, whose constraints recurse through the
  // list and map alternatives and fail to compile with GCC.
  friend std::partial_ordering operator<=>(const EncodableValue& lhs,
                                           const EncodableValue& rhs);
  friend bool operator!=(const EncodableValue& lhs, const EncodableValue& rhs) {
    return !(lhs == rhs);
  }
};

}  // namespace flutter

#endif  // CHANNELS_ENCODABLE_VALUE_H_
