#include "channels/encodable_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <variant>
#include <vector>

namespace flutter {
namespace {

TEST(EncodableValueTest, HoldsTheAlternativeItWasBuiltFrom) {
  EXPECT_TRUE(EncodableValue().IsNull());
  // A character string must not decay to the boolean alternative.
  EncodableValue text("on");
  EXPECT_TRUE(std::holds_alternative<std::string>(text));
  text = "off";
  EXPECT_EQ(std::get<std::string>(text), "off");
  EXPECT_EQ(std::get_if<int32_t>(&text), nullptr);
  EXPECT_THROW((void)std::get<bool>(text), std::bad_variant_access);
}

TEST(EncodableValueTest, CustomValueKeepsItsObjectAndIdentity) {
  CustomValue custom(std::vector<int>{1, 2});
  CustomValue copy = custom;
  ASSERT_NE(copy.TryGetValue<std::vector<int>>(), nullptr);
  EXPECT_EQ(copy.TryGetValue<std::vector<int>>()->at(1), 2);
  EXPECT_EQ(copy.TryGetValue<int>(), nullptr);
  // Only a holder is equal to itself; two holders are ordered one way.
  EncodableValue a(custom), b(custom);
  EXPECT_EQ(a, a);
  EXPECT_NE(a, b);
  EXPECT_NE(a < b, b < a);
}

// Each pair is strictly ascending in the key order.
TEST(EncodableValueTest, OrdersByAlternativeThenByValue) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<std::pair<EncodableValue, EncodableValue>> ascending = {
      {EncodableValue(), EncodableValue(false)},
      {EncodableValue(false), EncodableValue(true)},
      {EncodableValue(true), EncodableValue(int32_t{-5})},
      {EncodableValue(int32_t{-5}), EncodableValue(int32_t{3})},
      {EncodableValue(int32_t{100}), EncodableValue(int64_t{-100})},
      {EncodableValue(int64_t{-100}), EncodableValue(-1e300)},
      {EncodableValue(-0.5), EncodableValue(0.25)},
      {EncodableValue(1e300), EncodableValue("")},
      {EncodableValue("ab"), EncodableValue("abc")},  // proper prefix first
      {EncodableValue("b"), EncodableValue("ba")},
      {EncodableValue("\x7f"), EncodableValue("\x80")},  // unsigned bytes
      {EncodableValue("zzz"), EncodableValue(std::vector<uint8_t>{})},
      {EncodableValue(std::vector<uint8_t>{1, 9}),
       EncodableValue(std::vector<uint8_t>{2})},
      {EncodableValue(std::vector<int32_t>{1}),
       EncodableValue(std::vector<int32_t>{1, 0})},
      {EncodableValue(std::vector<double>{nan, 1.0}),
       EncodableValue(std::vector<double>{2.0, 2.0})},  // NaN ties, then 1 < 2
      {EncodableValue(EncodableValueList{EncodableValue(1)}),
       EncodableValue(EncodableValueList{EncodableValue("a")})},
      {EncodableValue(
           EncodableValueMap{{EncodableValue(1), EncodableValue(9)}}),
       EncodableValue(
           EncodableValueMap{{EncodableValue(2), EncodableValue(0)}})},
      {EncodableValue(
           EncodableValueMap{{EncodableValue(1), EncodableValue(1)}}),
       EncodableValue(
           EncodableValueMap{{EncodableValue(1), EncodableValue(2)}})},
      {EncodableValue(CustomValue(0)), EncodableValue(std::vector<float>{})},
  };
  for (const auto& [lower, higher] : ascending) {
    EXPECT_TRUE(lower < higher) << lower.index() << " vs " << higher.index();
    EXPECT_FALSE(higher < lower) << lower.index() << " vs " << higher.index();
    EXPECT_TRUE((lower <=> higher) < 0);
  }
}

TEST(EncodableValueTest, TreatsNullsAsEqualAndNanAsUnordered) {
  EXPECT_FALSE(EncodableValue() < EncodableValue());
  EXPECT_EQ(EncodableValue(), EncodableValue());
  const EncodableValue nan(std::nan(""));
  EXPECT_FALSE(nan < EncodableValue(1.0));
  EXPECT_FALSE(EncodableValue(1.0) < nan);
  EXPECT_TRUE(std::is_neq(nan <=> nan));
}

}  // namespace
}  // namespace flutter
