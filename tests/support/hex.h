// Byte strings for tests, written as hex next to their meaning.

#ifndef TESTS_SUPPORT_HEX_H_
#define TESTS_SUPPORT_HEX_H_

#include <cstdint>
#include <string>
#include <vector>

namespace velk::test {

using Bytes = std::vector<uint8_t>;

// "07 09" → {0x07, 0x09}; blanks between bytes are ignored. An odd number of
// digits or a character that is not one fails the running test.
Bytes Hex(const std::string& hex);

// The UTF-8 bytes of `text`, without a terminator.
Bytes Text(const std::string& text);

Bytes operator+(Bytes lhs, const Bytes& rhs);

}  // namespace velk::test

#endif  // TESTS_SUPPORT_HEX_H_
