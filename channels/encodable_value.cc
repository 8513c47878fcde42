#include "channels/encodable_value.h"

#include <algorithm>
#include <functional>
#include <type_traits>

namespace flutter {

bool operator<(const CustomValue& lhs, const CustomValue& rhs) {
  // std::less gives a total order over unrelated addresses; < would not.
  return std::less<const CustomValue*>()(&lhs, &rhs);
}

namespace {

template <typename T>
struct IsVector : std::false_type {};
template <typename T>
struct IsVector<std::vector<T>> : std::true_type {};

bool EntryLess(const EncodableValueMap::value_type& lhs,
               const EncodableValueMap::value_type& rhs) {
  if (lhs.first < rhs.first) return true;
  if (rhs.first < lhs.first) return false;
  return lhs.second < rhs.second;
}

}  // namespace

bool operator<(const EncodableValue& lhs, const EncodableValue& rhs) {
  if (lhs.index() != rhs.index()) return lhs.index() < rhs.index();
  // Map keys are mostly strings or integers, and every insertion into a map
  // compares its key: those two are compared without the dispatch below.
  if (const auto* left = std::get_if<std::string>(&lhs)) {
    return *left < *std::get_if<std::string>(&rhs);
  }
  if (const auto* left = std::get_if<int32_t>(&lhs)) {
    return *left < *std::get_if<int32_t>(&rhs);
  }
  return std::visit(
      [&rhs](const auto& left) -> bool {
        using T = std::decay_t<decltype(left)>;
        const T& right = std::get<T>(rhs);
        if constexpr (std::is_same_v<T, std::monostate>) {
          return false;
        } else if constexpr (IsVector<T>::value) {
          return std::lexicographical_compare(left.begin(), left.end(),
                                              right.begin(), right.end());
        } else if constexpr (std::is_same_v<T, EncodableValueMap>) {
          return std::lexicographical_compare(
              left.begin(), left.end(), right.begin(), right.end(), EntryLess);
        } else {
          // Numbers, and strings, whose bytes compare as unsigned char.
          return left < right;
        }
      },
      static_cast<const EncodableValue::Variant&>(lhs));
}

bool operator==(const EncodableValue& lhs, const EncodableValue& rhs) {
  if (lhs.index() != rhs.index()) return false;
  return std::visit(
      [&rhs](const auto& left) -> bool {
        using T = std::decay_t<decltype(left)>;
        const T& right = std::get<T>(rhs);
        if constexpr (std::is_same_v<T, std::monostate>) {
          return true;
        } else {
          return left == right;
        }
      },
      static_cast<const EncodableValue::Variant&>(lhs));
}

std::partial_ordering operator<=>(const EncodableValue& lhs,
                                  const EncodableValue& rhs) {
  if (lhs < rhs) return std::partial_ordering::less;
  if (rhs < lhs) return std::partial_ordering::greater;
  // Neither is less: equal, or a NaN somewhere (or two custom values, which
  // are never equal unless they are the same holder).
  return lhs == rhs ? std::partial_ordering::equivalent
                    : std::partial_ordering::unordered;
}

}  // namespace flutter
