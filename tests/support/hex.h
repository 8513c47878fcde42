// Byte strings for tests, written as hex next to their meaning, and the hex
// of the stand-in interface's transcript.

#ifndef TESTS_SUPPORT_HEX_H_
#define TESTS_SUPPORT_HEX_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velk::test {

using Bytes = std::vector<uint8_t>;

// "07 09" → {0x07, 0x09}; blanks between bytes are ignored. An odd number of
// digits or a character that is not one fails the running test.
Bytes Hex(const std::string& hex);

// The UTF-8 bytes of `text`, without a terminator.
Bytes Text(const std::string& text);

Bytes operator+(Bytes lhs, const Bytes& rhs);

// Lower-case hexadecimal digit pairs, as the transcript writes bytes.
std::string ToHex(std::string_view bytes);
std::string ToHex(const Bytes& bytes);

// The bytes of lower-case digit pairs as the transcript writes them ("-" is
// no bytes); none for anything else.
std::optional<std::string> FromHex(std::string_view hex);

}  // namespace velk::test

#endif  // TESTS_SUPPORT_HEX_H_
