#include "tests/support/hex.h"

#include <gtest/gtest.h>

namespace velk::test {
namespace {

// The value of a hexadecimal digit; -1 for anything else, and for an
// upper-case digit unless `any_case`.
int DigitValue(char c, bool any_case) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (any_case && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

Bytes Hex(const std::string& hex) {
  Bytes bytes;
  int high = -1;
  for (char c : hex) {
    if (c == ' ' || c == '\n') continue;
    const int value = DigitValue(c, /*any_case=*/true);
    if (value < 0) {
      ADD_FAILURE() << "not a hex digit in " << hex;
      return bytes;
    }
    if (high < 0) {
      high = value;
    } else {
      bytes.push_back(static_cast<uint8_t>(high * 16 + value));
      high = -1;
    }
  }
  EXPECT_LT(high, 0) << "odd number of hex digits in " << hex;
  return bytes;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes operator+(Bytes lhs, const Bytes& rhs) {
  lhs.insert(lhs.end(), rhs.begin(), rhs.end());
  return lhs;
}

std::string ToHex(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : bytes) {
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 0x0F]);
  }
  return hex;
}

std::string ToHex(const Bytes& bytes) {
  return ToHex(std::string_view(reinterpret_cast<const char*>(bytes.data()),
                                bytes.size()));
}

std::optional<std::string> FromHex(std::string_view hex) {
  if (hex == "-") return std::string();
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = DigitValue(hex[i], /*any_case=*/false);
    const int low = DigitValue(hex[i + 1], /*any_case=*/false);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<char>(high * 16 + low));
  }
  return bytes;
}

}  // namespace velk::test
