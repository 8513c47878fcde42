// The demonstration interface's own encoder and decoder of the standard
// method encoding. It is deliberately separate from the client's channel
// layer: the two meet only as bytes, so each checks the other. It knows only
// what the interface needs: null, booleans, 32- and 64-bit integers, strings,
// lists and maps, method calls, and the replies and events that come back.

#ifndef STAND_INS_EMBEDDER_UI_CODEC_H_
#define STAND_INS_EMBEDDER_UI_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace velk::embedder {

struct UiValue;
struct UiMapEntry;
using UiList = std::vector<UiValue>;
// Entries in the order they are written or were read; keys may be any value.
using UiMap = std::vector<UiMapEntry>;

struct UiValue {
  std::variant<std::monostate, bool, int32_t, int64_t, std::string, UiList,
               UiMap>
      data;

  bool IsNull() const { return std::holds_alternative<std::monostate>(data); }
  const std::string* AsString() const {
    return std::get_if<std::string>(&data);
  }
  bool operator==(const UiValue& other) const;
};

struct UiMapEntry {
  UiValue key;
  UiValue value;
  bool operator==(const UiMapEntry&) const = default;
};

// The method call METHOD with `argument` (null for none).
std::vector<uint8_t> EncodeMethodCall(const std::string& method,
                                      const UiValue& argument);

// A reply or event envelope as the interface reads it.
struct UiEnvelope {
  enum class Kind { kSuccess, kError, kEmpty, kUndecodable };
  Kind kind = Kind::kUndecodable;
  UiValue value;    // kSuccess
  UiValue code;     // kError
  UiValue message;  // kError
  UiValue details;  // kError
};
UiEnvelope DecodeEnvelope(const uint8_t* data, size_t size);

// The envelope as the transcript describes it: a reply ("success VALUE",
// "error CODE MESSAGE DETAILS", "not-implemented", "undecodable"), or with
// `as_event` a message the client sent by itself ("event VALUE",
// "error-event ...", "end-of-stream", "undecodable").
std::string DescribeEnvelope(const UiEnvelope& envelope, bool as_event);

// The value in the literal syntax of the script (strings quoted and escaped).
std::string FormatValue(const UiValue& value);
// `bytes` as a quoted string literal.
std::string QuoteString(const std::string& bytes);
// Lower-case hexadecimal pairs; "-" for no bytes.
std::string HexBytes(const uint8_t* data, size_t size);

}  // namespace velk::embedder

#endif  // STAND_INS_EMBEDDER_UI_CODEC_H_
