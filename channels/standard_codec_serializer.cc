#include "channels/standard_codec_serializer.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <limits>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace flutter {

namespace {

// Type bytes of the encoding.
enum class EncodedType : uint8_t {
  kNull = 0,
  kTrue = 1,
  kFalse = 2,
  kInt32 = 3,
  kInt64 = 4,
  kLargeInt = 5,  // Never written; read as a string.
  kFloat64 = 6,
  kString = 7,
  kUInt8List = 8,
  kInt32List = 9,
  kInt64List = 10,
  kFloat64List = 11,
  kList = 12,
  kMap = 13,
  kFloat32List = 14,
};

constexpr size_t kMaxEncodableSize = std::numeric_limits<uint32_t>::max();

void Report(const std::string& line) { std::cerr << line << std::endl; }

void WriteType(EncodedType type, ByteStreamWriter* stream) {
  stream->PutByte(static_cast<uint8_t>(type));
}

template <typename T>
void WriteNumber(T number, ByteStreamWriter* stream) {
  stream->PutBytes(reinterpret_cast<const uint8_t*>(&number), sizeof(T));
}

template <typename T>
T ReadNumber(ByteStreamReader* stream) {
  // Stays zero when the message ends early.
  T number{};
  stream->GetBytes(reinterpret_cast<uint8_t*>(&number), sizeof(T));
  return number;
}

// True when a payload of `declared_bytes` is neither in the message nor small
// enough to stand in for with zeros. A reader that does not know its end gets
// what it declares.
bool ExceedsMessage(size_t declared_bytes, const ByteStreamReader& stream) {
  const size_t remaining = stream.RemainingBytes();
  if (remaining == ByteStreamReader::kUnknownSize) return false;
  return declared_bytes > remaining &&
         declared_bytes > StandardCodecSerializer::kMaxUnbackedBytes;
}

// True when the `missing` elements still to read, each at least
// `min_element_bytes` long, outrun the message by more than
// kMaxMissingElements: a count no message of this length could honestly
// carry, so reading on would only loop over failed reads.
bool ElementsExceedMessage(size_t missing, size_t min_element_bytes,
                           const ByteStreamReader& stream) {
  const size_t remaining = stream.RemainingBytes();
  if (remaining == ByteStreamReader::kUnknownSize) return false;
  const size_t room = remaining / min_element_bytes;
  return missing > room &&
         missing - room > StandardCodecSerializer::kMaxMissingElements;
}

// Room to reserve for a list of `count` elements before any is read. Kept
// small: lists nest, and a claimed count is only a claim until the elements
// arrive; past this the vector grows as they do.
size_t ReservationFor(size_t count) {
  constexpr size_t kMaxReservation = 64;
  return std::min(count, kMaxReservation);
}

// The nesting of lists and maps in the decode running on this thread. The
// serializer itself stays stateless and shareable; the depth belongs to the
// call stack that it bounds. When a value is refused for its depth, every
// enclosing list and map stops reading, so the refusal is reported once and
// the decode unwinds at once.
struct NestingState {
  int depth = 0;
  bool abandoned = false;
};
thread_local NestingState nesting;

class NestingScope {
 public:
  NestingScope() {
    if (nesting.depth >= StandardCodecSerializer::kMaxNestingDepth) {
      if (!nesting.abandoned) {
        Report("Nesting deeper than " +
               std::to_string(StandardCodecSerializer::kMaxNestingDepth) +
               " in StandardCodecSerializer::ReadValueOfType");
      }
      nesting.abandoned = true;
      return;
    }
    ++nesting.depth;
    entered_ = true;
  }
  ~NestingScope() {
    if (!entered_) return;
    if (--nesting.depth == 0) nesting.abandoned = false;
  }
  NestingScope(const NestingScope&) = delete;
  NestingScope& operator=(const NestingScope&) = delete;

  bool entered() const { return entered_; }
  // Whether a deeper value was refused: stop reading elements.
  static bool abandoned() { return nesting.abandoned; }

 private:
  bool entered_ = false;
};

}  // namespace

const StandardCodecSerializer& StandardCodecSerializer::GetInstance() {
  // Thread-safe one-time initialisation; kept until the process ends.
  static const StandardCodecSerializer* const instance =
      new StandardCodecSerializer();
  return *instance;
}

const StandardCodecSerializer& SharedSerializer() {
  return StandardCodecSerializer::GetInstance();
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  std::visit(
      [this, stream](const auto& held) {
        using T = std::decay_t<decltype(held)>;
        if constexpr (requires { held.size(); }) {
          // A size prefix holds 32 bits. A longer value would be written
          // with a wrong size and everything after it misread, so it is
          // refused whole, like a custom value.
          if (held.size() > kMaxEncodableSize) {
            WriteType(EncodedType::kNull, stream);
            Report(
                "Value too large in StandardCodecSerializer::WriteValue. "
                "Sizes above 4294967295 cannot be encoded.");
            return;
          }
        }
        if constexpr (std::is_same_v<T, std::monostate>) {
          WriteType(EncodedType::kNull, stream);
        } else if constexpr (std::is_same_v<T, bool>) {
          WriteType(held ? EncodedType::kTrue : EncodedType::kFalse, stream);
        } else if constexpr (std::is_same_v<T, int32_t>) {
          WriteType(EncodedType::kInt32, stream);
          WriteNumber(held, stream);
        } else if constexpr (std::is_same_v<T, int64_t>) {
          WriteType(EncodedType::kInt64, stream);
          WriteNumber(held, stream);
        } else if constexpr (std::is_same_v<T, double>) {
          WriteType(EncodedType::kFloat64, stream);
          stream->PadToAlignment(8);
          WriteNumber(held, stream);
        } else if constexpr (std::is_same_v<T, std::string>) {
          WriteType(EncodedType::kString, stream);
          WriteLength(held.size(), stream);
          if (!held.empty()) {
            stream->PutBytes(reinterpret_cast<const uint8_t*>(held.data()),
                             held.size());
          }
        } else if constexpr (std::is_same_v<T, std::vector<uint8_t>>) {
          WriteType(EncodedType::kUInt8List, stream);
          WriteLength(held.size(), stream);
          if (!held.empty()) stream->PutBytes(held.data(), held.size());
        } else if constexpr (std::is_same_v<T, EncodableValueList>) {
          WriteType(EncodedType::kList, stream);
          WriteLength(held.size(), stream);
          for (const EncodableValue& element : held) {
            WriteValue(element, stream);
          }
        } else if constexpr (std::is_same_v<T, EncodableValueMap>) {
          WriteType(EncodedType::kMap, stream);
          WriteLength(held.size(), stream);
          for (const auto& [key, mapped] : held) {
            WriteValue(key, stream);
            WriteValue(mapped, stream);
          }
        } else if constexpr (std::is_same_v<T, CustomEncodableValue>) {
          WriteType(EncodedType::kNull, stream);
          Report(
              "Unhandled custom type in StandardCodecSerializer::WriteValue. "
              "Custom types require codec extensions.");
        } else {
          // The typed lists of 4- and 8-byte numbers.
          using Element = typename T::value_type;
          constexpr EncodedType type =
              std::is_same_v<Element, int32_t>   ? EncodedType::kInt32List
              : std::is_same_v<Element, int64_t> ? EncodedType::kInt64List
              : std::is_same_v<Element, double>  ? EncodedType::kFloat64List
                                                 : EncodedType::kFloat32List;
          WriteType(type, stream);
          WriteLength(held.size(), stream);
          // Padded even when empty: the reader skips to the element
          // alignment whatever the count, and would otherwise skip over
          // the bytes of the next value.
          stream->PadToAlignment(sizeof(Element));
          if (!held.empty()) {
            stream->PutBytes(reinterpret_cast<const uint8_t*>(held.data()),
                             held.size() * sizeof(Element));
          }
        }
      },
      static_cast<const EncodableValue::Variant&>(value));
}

namespace {

// Reads `count` elements into a zero-filled vector, or an empty one when the
// message cannot hold anywhere near that many.
template <typename Element>
std::vector<Element> ReadTypedList(size_t count, ByteStreamReader* stream) {
  stream->SkipToAlignment(sizeof(Element));
  const size_t bytes = count * sizeof(Element);  // count < 2^32: no overflow.
  if (ExceedsMessage(bytes, *stream)) {
    internal::ReportInvalidRead();
    return {};
  }
  std::vector<Element> list(count);
  stream->GetBytes(reinterpret_cast<uint8_t*>(list.data()), bytes);
  return list;
}

}  // namespace

EncodableValue StandardCodecSerializer::ReadValueOfType(
    uint8_t type, ByteStreamReader* stream) const {
  switch (static_cast<EncodedType>(type)) {
    case EncodedType::kNull:
      return EncodableValue();
    case EncodedType::kTrue:
      return EncodableValue(true);
    case EncodedType::kFalse:
      return EncodableValue(false);
    case EncodedType::kInt32:
      return EncodableValue(ReadNumber<int32_t>(stream));
    case EncodedType::kInt64:
      return EncodableValue(ReadNumber<int64_t>(stream));
    case EncodedType::kFloat64:
      stream->SkipToAlignment(8);
      return EncodableValue(ReadNumber<double>(stream));
    case EncodedType::kLargeInt:
    case EncodedType::kString: {
      const size_t length = ReadLength(stream);
      if (ExceedsMessage(length, *stream)) {
        internal::ReportInvalidRead();
        return EncodableValue(std::string());
      }
      std::string string(length, '\0');
      stream->GetBytes(reinterpret_cast<uint8_t*>(string.data()), length);
      return EncodableValue(std::move(string));
    }
    case EncodedType::kUInt8List: {
      const size_t length = ReadLength(stream);
      if (ExceedsMessage(length, *stream)) {
        internal::ReportInvalidRead();
        return EncodableValue(std::vector<uint8_t>());
      }
      std::vector<uint8_t> bytes(length);
      stream->GetBytes(bytes.data(), length);
      return EncodableValue(std::move(bytes));
    }
    case EncodedType::kInt32List:
      return EncodableValue(ReadTypedList<int32_t>(ReadLength(stream), stream));
    case EncodedType::kInt64List:
      return EncodableValue(ReadTypedList<int64_t>(ReadLength(stream), stream));
    case EncodedType::kFloat64List:
      return EncodableValue(ReadTypedList<double>(ReadLength(stream), stream));
    case EncodedType::kFloat32List:
      return EncodableValue(ReadTypedList<float>(ReadLength(stream), stream));
    case EncodedType::kList: {
      NestingScope scope;
      if (!scope.entered()) return EncodableValue();
      const size_t count = ReadLength(stream);
      EncodableValueList list;
      list.reserve(ReservationFor(count));
      for (size_t i = 0; i < count && !NestingScope::abandoned(); ++i) {
        if (ElementsExceedMessage(count - i, 1, *stream)) {
          internal::ReportInvalidRead();
          break;
        }
        list.push_back(ReadNextValue(stream));
      }
      return EncodableValue(std::move(list));
    }
    case EncodedType::kMap: {
      NestingScope scope;
      if (!scope.entered()) return EncodableValue();
      const size_t count = ReadLength(stream);
      EncodableValueMap map;
      for (size_t i = 0; i < count && !NestingScope::abandoned(); ++i) {
        if (ElementsExceedMessage(count - i, 2, *stream)) {
          internal::ReportInvalidRead();
          break;
        }
        EncodableValue key = ReadNextValue(stream);
        EncodableValue mapped = ReadNextValue(stream);
        // Encoders write maps in key order, so the end is the likely place;
        // a wrong hint only costs the usual search. A repeated key keeps its
        // first entry.
        map.emplace_hint(map.end(), std::move(key), std::move(mapped));
      }
      return EncodableValue(std::move(map));
    }
  }
  Report("Unknown type in StandardCodecSerializer::ReadValueOfType: " +
         std::to_string(type));
  return EncodableValue();
}

EncodableValue StandardCodecSerializer::ReadNextValue(
    ByteStreamReader* stream) const {
  const uint8_t type = stream->GetByte();
  return ReadValueOfType(type, stream);
}

void StandardCodecSerializer::WriteLength(size_t length,
                                          ByteStreamWriter* stream) const {
  if (length < 254) {
    stream->PutByte(static_cast<uint8_t>(length));
  } else if (length <= 0xffff) {
    stream->PutByte(254);
    WriteNumber(static_cast<uint16_t>(length), stream);
  } else {
    stream->PutByte(255);
    WriteNumber(static_cast<uint32_t>(length), stream);
  }
}

size_t StandardCodecSerializer::ReadLength(ByteStreamReader* stream) const {
  const uint8_t first = stream->GetByte();
  if (first < 254) return first;
  if (first == 254) return ReadNumber<uint16_t>(stream);
  return ReadNumber<uint32_t>(stream);
}

}  // namespace flutter
