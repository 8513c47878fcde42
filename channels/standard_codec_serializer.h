#ifndef CHANNELS_STANDARD_CODEC_SERIALIZER_H_
#define CHANNELS_STANDARD_CODEC_SERIALIZER_H_

#include <cstddef>
#include <cstdint>

#include "channels/byte_streams.h"
#include "channels/encodable_value.h"

namespace flutter {

// Turns EncodableValues into the standard message encoding and back. It holds
// no state: one instance serves every thread.
//
// Malformed input never throws: it decodes to a value with zero or null parts
// and one line on the standard error stream per failure. Over a reader that
// knows its end, the decoder also refuses sizes and counts that the message
// cannot hold, and nesting deeper than kMaxNestingDepth. The encoder writes a
// value that it cannot encode (a custom value, or one with more than 2^32 - 1
// elements) as null, with one report.
class StandardCodecSerializer {
 public:
  // A list or map nested deeper than this decodes as null with one report,
  // and the lists and maps around it stop reading: the rest of the message
  // is not trusted. Decoding recurses per level, so this bounds the stack.
  static constexpr int kMaxNestingDepth = 128;

  // A string or typed list that claims more bytes than the message holds
  // decodes zero-filled at its declared size when that is at most this many
  // bytes, and empty otherwise. A failed read consumes nothing, so a larger
  // allowance could be claimed again every few bytes of one message.
  static constexpr size_t kMaxUnbackedBytes = 256;

  // A list or map may claim up to this many elements more than the message
  // holds and still get a null element (and a report) for each of them; past
  // that the decoder stops with one report.
  static constexpr size_t kMaxMissingElements = 64;

  StandardCodecSerializer() = default;
  virtual ~StandardCodecSerializer() = default;

  StandardCodecSerializer(const StandardCodecSerializer&) = delete;
  StandardCodecSerializer& operator=(const StandardCodecSerializer&) = delete;

  // The one process-wide instance, created on first use.
  static const StandardCodecSerializer& GetInstance();

  // Appends the type byte and the payload of `value`. In a derived class
  // nested values go through this virtual slot, so an override sees them
  // too; this class itself writes them directly, and writes exactly a
  // ByteBufferStreamWriter without its virtual slots.
  virtual void WriteValue(const EncodableValue& value,
                          ByteStreamWriter* stream) const;

  // Reads the payload of a value whose type byte has already been read.
  // Nested values go through this virtual slot as they do in WriteValue, and
  // exactly a ByteBufferStreamReader is read without its virtual slots.
  virtual EncodableValue ReadValueOfType(uint8_t type,
                                         ByteStreamReader* stream) const;

  // Reads one type byte and the value it introduces.
  EncodableValue ReadNextValue(ByteStreamReader* stream) const;

  // The size prefix of strings, lists and maps.
  void WriteLength(size_t length, ByteStreamWriter* stream) const;
  size_t ReadLength(ByteStreamReader* stream) const;
};

// The process-wide serializer that codecs use unless given another.
const StandardCodecSerializer& SharedSerializer();

}  // namespace flutter

#endif  // CHANNELS_STANDARD_CODEC_SERIALIZER_H_
