// Every value decoded from arbitrary bytes must encode to bytes that decode,
// without a single report, back to the same value and the same bytes.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <type_traits>
#include <variant>
#include <vector>

#include "channels/standard_codec_serializer.h"
#include "fuzz/codec_fuzz_support.h"

namespace {

using flutter::EncodableValue;
using flutter::EncodableValueList;
using flutter::EncodableValueMap;

template <typename T>
bool AnyNan(const std::vector<T>& numbers) {
  for (T number : numbers) {
    if (std::isnan(number)) return true;
  }
  return false;
}

bool HasNan(const EncodableValue& value) {
  if (const auto* number = std::get_if<double>(&value)) {
    return std::isnan(*number);
  }
  if (const auto* list = std::get_if<std::vector<double>>(&value)) {
    return AnyNan(*list);
  }
  if (const auto* list = std::get_if<std::vector<float>>(&value)) {
    return AnyNan(*list);
  }
  if (const auto* list = std::get_if<EncodableValueList>(&value)) {
    for (const EncodableValue& element : *list) {
      if (HasNan(element)) return true;
    }
  }
  if (const auto* map = std::get_if<EncodableValueMap>(&value)) {
    for (const auto& [key, mapped] : *map) {
      if (HasNan(key) || HasNan(mapped)) return true;
    }
  }
  return false;
}

// A NaN makes the key order inconsistent (it ties with every number), so a
// map keyed by one has no stable order to round-trip.
bool HasNanInAKey(const EncodableValue& value) {
  if (const auto* list = std::get_if<EncodableValueList>(&value)) {
    for (const EncodableValue& element : *list) {
      if (HasNanInAKey(element)) return true;
    }
  }
  if (const auto* map = std::get_if<EncodableValueMap>(&value)) {
    for (const auto& [key, mapped] : *map) {
      if (HasNan(key) || HasNanInAKey(mapped)) return true;
    }
  }
  return false;
}

// Equality that also holds for NaNs: the numbers' bits must match.
bool SameValue(const EncodableValue& a, const EncodableValue& b) {
  if (a.index() != b.index()) return false;
  return std::visit(
      [&b](const auto& left) -> bool {
        using T = std::decay_t<decltype(left)>;
        const T& right = std::get<T>(b);
        if constexpr (std::is_same_v<T, double>) {
          // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): bits.
          return std::memcmp(&left, &right, sizeof(T)) == 0;
        } else if constexpr (std::is_same_v<T, std::vector<double>> ||
                             std::is_same_v<T, std::vector<float>>) {
          return left.size() == right.size() &&
                 (left.empty() ||
                  std::memcmp(left.data(), right.data(),
                              left.size() * sizeof(left[0])) == 0);
        } else if constexpr (std::is_same_v<T, EncodableValueList>) {
          if (left.size() != right.size()) return false;
          for (size_t i = 0; i < left.size(); ++i) {
            if (!SameValue(left[i], right[i])) return false;
          }
          return true;
        } else if constexpr (std::is_same_v<T, EncodableValueMap>) {
          if (left.size() != right.size()) return false;
          for (auto l = left.begin(), r = right.begin(); l != left.end();
               ++l, ++r) {
            if (!SameValue(l->first, r->first) ||
                !SameValue(l->second, r->second)) {
              return false;
            }
          }
          return true;
        } else {
          return left == right;
        }
      },
      static_cast<const EncodableValue::Variant&>(a));
}

std::vector<uint8_t> Encode(const EncodableValue& value) {
  std::vector<uint8_t> encoded;
  flutter::ByteBufferStreamWriter writer(&encoded);
  flutter::SharedSerializer().WriteValue(value, &writer);
  return encoded;
}

void Fail(const char* what) {
  // std::cerr is silenced; the fuzzer shows this line and the input.
  std::fprintf(stderr, "round trip failed: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  velk::fuzz::CountingNullBuffer& reports = velk::fuzz::SilenceReports();
  flutter::ByteBufferStreamReader input(data, size);
  const EncodableValue first =
      flutter::SharedSerializer().ReadNextValue(&input);
  if (HasNanInAKey(first)) return 0;

  const std::vector<uint8_t> encoded = Encode(first);
  reports.reset();
  flutter::ByteBufferStreamReader reader(encoded.data(), encoded.size());
  const EncodableValue second =
      flutter::SharedSerializer().ReadNextValue(&reader);
  if (reports.lines() != 0) Fail("decoding an encoded value reported");
  if (reader.RemainingBytes() != 0) Fail("bytes left after the value");
  if (!SameValue(first, second)) Fail("decoded value differs");
  if (Encode(second) != encoded) Fail("re-encoded bytes differ");
  return 0;
}
