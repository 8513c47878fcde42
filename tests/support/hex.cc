#include "tests/support/hex.h"

#include <gtest/gtest.h>

#include <cctype>

namespace velk::test {

Bytes Hex(const std::string& hex) {
  Bytes bytes;
  std::string digits;
  for (char c : hex) {
    if (c == ' ' || c == '\n') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) {
      ADD_FAILURE() << "not a hex digit in " << hex;
      return bytes;
    }
    digits.push_back(c);
    if (digits.size() == 2) {
      bytes.push_back(static_cast<uint8_t>(std::stoul(digits, nullptr, 16)));
      digits.clear();
    }
  }
  EXPECT_TRUE(digits.empty()) << "odd number of hex digits in " << hex;
  return bytes;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes operator+(Bytes lhs, const Bytes& rhs) {
  lhs.insert(lhs.end(), rhs.begin(), rhs.end());
  return lhs;
}

}  // namespace velk::test
