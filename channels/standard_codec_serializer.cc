#include "channels/standard_codec_serializer.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <limits>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <variant>
#include <vector>

// The encoder and decoder handle the leaf values inline, in the loops of the
// lists and maps that hold them, and call out only for nested lists and maps:
// a call per value would cost more than most values take to encode.
#if defined(_MSC_VER)
#define VELK_NOINLINE __declspec(noinline)
#define VELK_ALWAYS_INLINE __forceinline
#elif defined(__GNUC__)
#define VELK_NOINLINE __attribute__((noinline))
#define VELK_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define VELK_NOINLINE
#define VELK_ALWAYS_INLINE inline
#endif

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

// Writes the size prefix of `size` (below 2^32) to `out`; returns its
// length, 1, 3 or 5 bytes.
size_t EncodeSizePrefix(size_t size, uint8_t* out) {
  if (size < 254) {
    out[0] = static_cast<uint8_t>(size);
    return 1;
  }
  if (size <= 0xffff) {
    out[0] = 254;
    const auto short_size = static_cast<uint16_t>(size);
    std::memcpy(out + 1, &short_size, sizeof(short_size));
    return 3;
  }
  out[0] = 255;
  const auto long_size = static_cast<uint32_t>(size);
  std::memcpy(out + 1, &long_size, sizeof(long_size));
  return 5;
}

// The reports are kept out of line, away from the loops that may make them.
void Report(const std::string& line) { std::cerr << line << std::endl; }

void ReportCustomValue() {
  Report(
      "Unhandled custom type in StandardCodecSerializer::WriteValue. "
      "Custom types require codec extensions.");
}

void ReportTooLarge() {
  Report(
      "Value too large in StandardCodecSerializer::WriteValue. "
      "Sizes above 4294967295 cannot be encoded.");
}

void ReportUnknownType(uint8_t type) {
  Report("Unknown type in StandardCodecSerializer::ReadValueOfType: " +
         std::to_string(type));
}

// The position of T among the alternatives of EncodableValue.
template <typename T, typename... Alternatives>
constexpr size_t IndexIn(const std::variant<Alternatives...>*) {
  constexpr bool matches[] = {std::is_same_v<T, Alternatives>...};
  for (size_t i = 0; i < sizeof...(Alternatives); ++i) {
    if (matches[i]) return i;
  }
  return sizeof...(Alternatives);
}

template <typename T>
constexpr size_t kIndexOf =
    IndexIn<T>(static_cast<const EncodableValue::Variant*>(nullptr));

// Whether `object` is exactly a T, not something derived from it. The
// serializer runs its own code without the virtual slots only for exactly
// the classes whose code it knows.
template <typename T, typename U>
bool IsExactly(const U& object) {
  return typeid(object) == typeid(T);
}

// ---------------------------------------------------------------------------
// Writing.
//
// The encoder is written once, over a sink, and instantiated three ways:
//  - for a serializer of a derived class, nested values go through the
//    virtual WriteValue, and the bytes through the stream's virtual slots;
//  - for exactly this serializer over some other writer, nested values are
//    written directly, the bytes still through the stream;
//  - for exactly this serializer over exactly the buffer writer, the whole
//    value is written straight into the writer's vector.

// The bytes through the stream's virtual operations.
class StreamSink {
 public:
  explicit StreamSink(ByteStreamWriter* stream) : stream_(stream) {}

  ByteStreamWriter* stream() const { return stream_; }

  void Finish() {}
  void Reserve(size_t /*count*/) {}
  void PutByte(uint8_t byte) { stream_->PutByte(byte); }
  // The first byte of a size prefix alone, then the number that may follow.
  void PutSize(size_t size) {
    uint8_t prefix[5];
    const size_t length = EncodeSizePrefix(size, prefix);
    PutByte(prefix[0]);
    if (length > 1) PutBytes(prefix + 1, length - 1);
  }
  void PutBytes(const void* source, size_t count) {
    stream_->PutBytes(static_cast<const uint8_t*>(source), count);
  }
  template <typename T>
  void PutNumber(T number) {
    PutBytes(&number, sizeof(T));
  }
  void PadToAlignment(size_t alignment) { stream_->PadToAlignment(alignment); }

 private:
  ByteStreamWriter* stream_;
};

// The bytes straight into a vector through a cursor, without a capacity check
// per byte. A message starts in a buffer on the stack and is appended to the
// vector in one copy by Finish. One that outgrows the stack buffer moves into
// the vector, which is then grown (zero-filled) by steps ahead of the cursor
// and cut back to what was written; a payload larger than the room left is
// appended as it is, without zero-filling room for it first. PutByte,
// PutNumber and PadToAlignment write into room that Reserve made; PutBytes
// makes its own.
class VectorSink {
 public:
  explicit VectorSink(std::vector<uint8_t>* buffer)
      : buffer_(buffer), begin_position_(buffer->size()) {}
  ~VectorSink() {
    if (begin_ != local_) CutBack();
  }

  VectorSink(const VectorSink&) = delete;
  VectorSink& operator=(const VectorSink&) = delete;

  // Appends what is still on the stack. Called once, after the last write.
  void Finish() {
    if (begin_ == local_) buffer_->insert(buffer_->end(), local_, cursor_);
  }

  ByteStreamWriter* stream() const { return nullptr; }

  void Reserve(size_t count) {
    if (static_cast<size_t>(limit_ - cursor_) < count) Grow(count);
  }
  void PutByte(uint8_t byte) { *cursor_++ = byte; }
  void PutSize(size_t size) { cursor_ += EncodeSizePrefix(size, cursor_); }
  VELK_ALWAYS_INLINE void PutBytes(const void* source, size_t count) {
    if (static_cast<size_t>(limit_ - cursor_) < count) {
      Append(static_cast<const uint8_t*>(source), count);
      return;
    }
    CopyBytes(cursor_, static_cast<const uint8_t*>(source), count);
    cursor_ += count;
  }
  template <typename T>
  void PutNumber(T number) {
    std::memcpy(cursor_, &number, sizeof(T));
    cursor_ += sizeof(T);
  }
  // Alignment counts from the start of the vector, which is where the
  // message starts. At most 7 bytes of padding: 8 zero bytes are written
  // into the reserved room and the cursor moves past those needed.
  void PadToAlignment(size_t alignment) {
    const size_t misalignment = Position() % alignment;
    if (misalignment == 0) return;
    const uint64_t zeros = 0;
    std::memcpy(cursor_, &zeros, sizeof(zeros));
    cursor_ += alignment - misalignment;
  }

 private:
  // Holds the messages of a channel; larger ones go on in the vector.
  static constexpr size_t kLocalSize = 1024;
  // Room made at a time once the message is in the vector.
  static constexpr size_t kGrowthStep = 512;

  // Most strings of a message are short: keys, names, status texts. Those
  // are copied with a few fixed-size moves instead of a call to memcpy.
  VELK_ALWAYS_INLINE static void CopyBytes(uint8_t* destination,
                                           const uint8_t* source,
                                           size_t count) {
    if (count > 16) {
      std::memcpy(destination, source, count);
    } else if (count >= 8) {
      // Two 8-byte moves that overlap in the middle.
      uint64_t head, tail;
      std::memcpy(&head, source, 8);
      std::memcpy(&tail, source + count - 8, 8);
      std::memcpy(destination, &head, 8);
      std::memcpy(destination + count - 8, &tail, 8);
    } else if (count >= 4) {
      uint32_t head, tail;
      std::memcpy(&head, source, 4);
      std::memcpy(&tail, source + count - 4, 4);
      std::memcpy(destination, &head, 4);
      std::memcpy(destination + count - 4, &tail, 4);
    } else if (count > 0) {
      destination[0] = source[0];
      destination[count / 2] = source[count / 2];
      destination[count - 1] = source[count - 1];
    }
  }

  // Where the cursor stands in the vector, counting what is on the stack.
  size_t Position() const { return begin_position_ + (cursor_ - begin_); }

  // Makes room for `count` bytes ahead of the cursor. The vector's capacity
  // doubles, but its size grows by steps: every byte it grows by is
  // zero-filled before it is written.
  VELK_NOINLINE void Grow(size_t count) {
    MoveIntoVector();
    const size_t position = buffer_->size();
    const size_t size = position + std::max(count, kGrowthStep);
    if (size > buffer_->capacity()) {
      buffer_->reserve(std::max(size, 2 * buffer_->capacity()));
    }
    buffer_->resize(size);
    SetRoom(position);
  }

  VELK_NOINLINE void Append(const uint8_t* source, size_t count) {
    MoveIntoVector();
    buffer_->insert(buffer_->end(), source, source + count);
    SetRoom(buffer_->size());
  }

  // Leaves the vector holding exactly what was written.
  void MoveIntoVector() {
    if (begin_ == local_) {
      buffer_->insert(buffer_->end(), local_, cursor_);
      begin_position_ = 0;
    } else {
      CutBack();
    }
  }

  // Drops the room not written.
  void CutBack() {
    buffer_->erase(buffer_->begin() + static_cast<std::ptrdiff_t>(Position()),
                   buffer_->end());
  }

  // The cursor at `position` in the vector, with the room behind it.
  void SetRoom(size_t position) {
    begin_ = buffer_->data();
    cursor_ = begin_ + position;
    limit_ = begin_ + buffer_->size();
  }

  std::vector<uint8_t>* buffer_;
  uint8_t local_[kLocalSize];
  // Where begin_ stands in the vector: its size at the start while the
  // message is on the stack, 0 once it is in the vector.
  size_t begin_position_;
  uint8_t* begin_ = local_;
  uint8_t* cursor_ = local_;
  uint8_t* limit_ = local_ + kLocalSize;
};

// The most that a value writes before its payload: type byte, a 5-byte size
// prefix, up to 7 bytes of padding, and an 8-byte number.
constexpr size_t kMaxValueHead = 1 + 5 + 7 + 8;

template <typename Sink, bool kNestedDirect>
class Encoder {
 public:
  template <typename Target>
  Encoder(const StandardCodecSerializer& serializer, Target target)
      : serializer_(serializer), sink_(target) {}

  // Writes `value`, and with it everything it holds, to the end.
  void WriteWhole(const EncodableValue& value) {
    Write(value);
    sink_.Finish();
  }

 private:
  VELK_ALWAYS_INLINE void Write(const EncodableValue& value) {
    sink_.Reserve(kMaxValueHead);
    switch (value.index()) {
      case kIndexOf<std::monostate>:
        return WriteType(EncodedType::kNull);
      case kIndexOf<bool>:
        return WriteType(Get<bool>(value) ? EncodedType::kTrue
                                          : EncodedType::kFalse);
      case kIndexOf<int32_t>:
        WriteType(EncodedType::kInt32);
        return WriteNumber(Get<int32_t>(value));
      case kIndexOf<int64_t>:
        WriteType(EncodedType::kInt64);
        return WriteNumber(Get<int64_t>(value));
      case kIndexOf<double>:
        WriteType(EncodedType::kFloat64);
        sink_.PadToAlignment(8);
        return WriteNumber(Get<double>(value));
      case kIndexOf<std::string>:
        return WriteBytes(EncodedType::kString, Get<std::string>(value));
      case kIndexOf<std::vector<uint8_t>>:
        return WriteBytes(EncodedType::kUInt8List,
                          Get<std::vector<uint8_t>>(value));
      case kIndexOf<std::vector<int32_t>>:
        return WriteNumbers(EncodedType::kInt32List,
                            Get<std::vector<int32_t>>(value));
      case kIndexOf<std::vector<int64_t>>:
        return WriteNumbers(EncodedType::kInt64List,
                            Get<std::vector<int64_t>>(value));
      case kIndexOf<std::vector<double>>:
        return WriteNumbers(EncodedType::kFloat64List,
                            Get<std::vector<double>>(value));
      case kIndexOf<std::vector<float>>:
        return WriteNumbers(EncodedType::kFloat32List,
                            Get<std::vector<float>>(value));
      case kIndexOf<EncodableValueList>:
        return WriteList(Get<EncodableValueList>(value));
      case kIndexOf<EncodableValueMap>:
        return WriteMap(Get<EncodableValueMap>(value));
      default:  // a custom value
        WriteType(EncodedType::kNull);
        ReportCustomValue();
        return;
    }
  }

  // The held alternative, which the caller has just checked.
  template <typename T>
  static const T& Get(const EncodableValue& value) {
    return *std::get_if<T>(&value);
  }

  VELK_NOINLINE void WriteList(const EncodableValueList& list) {
    if (!WriteHead(EncodedType::kList, list.size())) return;
    for (const EncodableValue& element : list) WriteNested(element);
  }

  VELK_NOINLINE void WriteMap(const EncodableValueMap& map) {
    if (!WriteHead(EncodedType::kMap, map.size())) return;
    for (const auto& [key, mapped] : map) {
      WriteNested(key);
      WriteNested(mapped);
    }
  }

  VELK_ALWAYS_INLINE void WriteNested(const EncodableValue& value) {
    if constexpr (kNestedDirect) {
      Write(value);
    } else {
      serializer_.WriteValue(value, sink_.stream());
    }
  }

  void WriteType(EncodedType type) {
    sink_.PutByte(static_cast<uint8_t>(type));
  }

  template <typename T>
  void WriteNumber(T number) {
    sink_.PutNumber(number);
  }

  // The type byte and the size prefix; false, with null written and one
  // report, when the size cannot be expressed. A longer value would be
  // written with a wrong size and everything after it misread, so it is
  // refused whole, like a custom value.
  bool WriteHead(EncodedType type, size_t size) {
    if (size > kMaxEncodableSize) {
      WriteType(EncodedType::kNull);
      ReportTooLarge();
      return false;
    }
    WriteType(type);
    sink_.PutSize(size);
    return true;
  }

  template <typename Bytes>
  void WriteBytes(EncodedType type, const Bytes& bytes) {
    if (!WriteHead(type, bytes.size())) return;
    if (!bytes.empty()) sink_.PutBytes(bytes.data(), bytes.size());
  }

  template <typename Element>
  void WriteNumbers(EncodedType type, const std::vector<Element>& numbers) {
    if (!WriteHead(type, numbers.size())) return;
    // Padded even when empty: the reader skips to the element alignment
    // whatever the count, and would otherwise skip over the bytes of the
    // next value.
    sink_.PadToAlignment(sizeof(Element));
    if (!numbers.empty()) {
      sink_.PutBytes(numbers.data(), numbers.size() * sizeof(Element));
    }
  }

  const StandardCodecSerializer& serializer_;
  Sink sink_;
};

// ---------------------------------------------------------------------------
// Reading.
//
// Like the encoder, the decoder is written once over a source: the stream's
// virtual operations, or exactly the buffer reader's own, inlined. Values are
// built in place, in the list element or map entry that holds them.

// The bytes through the stream's virtual operations.
class StreamSource {
 public:
  explicit StreamSource(ByteStreamReader* stream) : stream_(stream) {}

  ByteStreamReader* stream() const { return stream_; }

  uint8_t GetByte() { return stream_->GetByte(); }
  void GetBytes(void* destination, size_t count) {
    stream_->GetBytes(static_cast<uint8_t*>(destination), count);
  }
  void SkipToAlignment(size_t alignment) {
    stream_->SkipToAlignment(alignment);
  }
  size_t RemainingBytes() const { return stream_->RemainingBytes(); }
  // A stream cannot lend its bytes.
  const uint8_t* TakeBytes(size_t /*count*/) { return nullptr; }

 private:
  ByteStreamReader* stream_;
};

// Exactly the buffer reader, called without the virtual slots.
class BufferSource {
 public:
  explicit BufferSource(ByteBufferStreamReader* stream) : stream_(stream) {}

  ByteStreamReader* stream() const { return stream_; }

  uint8_t GetByte() { return stream_->ByteBufferStreamReader::GetByte(); }
  // The buffer reader's GetBytes, written here so that a read of a fixed
  // size becomes a plain move.
  VELK_ALWAYS_INLINE void GetBytes(void* destination, size_t count) {
    if (const uint8_t* bytes = stream_->TakeBytes(count)) {
      if (count > 0) std::memcpy(destination, bytes, count);
    } else {
      internal::ReportInvalidRead();
    }
  }
  void SkipToAlignment(size_t alignment) {
    stream_->ByteBufferStreamReader::SkipToAlignment(alignment);
  }
  size_t RemainingBytes() const {
    return stream_->ByteBufferStreamReader::RemainingBytes();
  }
  const uint8_t* TakeBytes(size_t count) { return stream_->TakeBytes(count); }

 private:
  ByteBufferStreamReader* stream_;
};

template <typename T, typename Source>
VELK_ALWAYS_INLINE T ReadNumberFrom(Source& source) {
  // Stays zero when the message ends early.
  T number{};
  source.GetBytes(&number, sizeof(T));
  return number;
}

template <typename Source>
VELK_ALWAYS_INLINE size_t ReadSizePrefix(Source& source) {
  const uint8_t first = source.GetByte();
  if (first < 254) return first;
  if (first == 254) return ReadNumberFrom<uint16_t>(source);
  return ReadNumberFrom<uint32_t>(source);
}

// Fills an empty string or byte list with one bulk copy.
void AppendBytes(const uint8_t* bytes, size_t count, std::string& string) {
  string.append(reinterpret_cast<const char*>(bytes), count);
}

void AppendBytes(const uint8_t* bytes, size_t count,
                 std::vector<uint8_t>& list) {
  list.assign(bytes, bytes + count);
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

template <typename Source, bool kNestedDirect>
class Decoder {
 public:
  Decoder(const StandardCodecSerializer& serializer, Source source)
      : serializer_(serializer), source_(source) {}

  // Reads the payload of a value whose type byte was `type` into `value`,
  // which is null.
  VELK_ALWAYS_INLINE void ReadInto(uint8_t type, EncodableValue& value) {
    switch (static_cast<EncodedType>(type)) {
      case EncodedType::kNull:
        return;
      case EncodedType::kTrue:
        value.emplace<bool>(true);
        return;
      case EncodedType::kFalse:
        value.emplace<bool>(false);
        return;
      case EncodedType::kInt32:
        value.emplace<int32_t>(ReadNumber<int32_t>());
        return;
      case EncodedType::kInt64:
        value.emplace<int64_t>(ReadNumber<int64_t>());
        return;
      case EncodedType::kFloat64:
        source_.SkipToAlignment(8);
        value.emplace<double>(ReadNumber<double>());
        return;
      case EncodedType::kLargeInt:
      case EncodedType::kString:
        return ReadBytes<std::string>(value);
      case EncodedType::kUInt8List:
        return ReadBytes<std::vector<uint8_t>>(value);
      case EncodedType::kInt32List:
        return ReadNumbers<int32_t>(value);
      case EncodedType::kInt64List:
        return ReadNumbers<int64_t>(value);
      case EncodedType::kFloat64List:
        return ReadNumbers<double>(value);
      case EncodedType::kFloat32List:
        return ReadNumbers<float>(value);
      case EncodedType::kList:
        return ReadList(value);
      case EncodedType::kMap:
        return ReadMap(value);
    }
    ReportUnknownType(type);
  }

 private:
  // The type byte and the value it introduces, into `value`, which is null.
  VELK_ALWAYS_INLINE void ReadNextInto(EncodableValue& value) {
    const uint8_t type = source_.GetByte();
    if constexpr (kNestedDirect) {
      ReadInto(type, value);
    } else {
      value = serializer_.ReadValueOfType(type, source_.stream());
    }
  }

  template <typename T>
  T ReadNumber() {
    return ReadNumberFrom<T>(source_);
  }

  size_t ReadLength() { return ReadSizePrefix(source_); }

  // True when a payload of `declared_bytes` is neither in the message nor
  // small enough to stand in for with zeros. A reader that does not know its
  // end gets what it declares.
  bool ExceedsMessage(size_t declared_bytes) const {
    const size_t remaining = source_.RemainingBytes();
    if (remaining == ByteStreamReader::kUnknownSize) return false;
    return declared_bytes > remaining &&
           declared_bytes > StandardCodecSerializer::kMaxUnbackedBytes;
  }

  // True when the `missing` elements still to read, each at least
  // `min_element_bytes` long, outrun the message by more than
  // kMaxMissingElements: a count no message of this length could honestly
  // carry, so reading on would only loop over failed reads.
  bool ElementsExceedMessage(size_t missing, size_t min_element_bytes) const {
    const size_t remaining = source_.RemainingBytes();
    if (remaining == ByteStreamReader::kUnknownSize) return false;
    const size_t room = remaining / min_element_bytes;
    return missing > room &&
           missing - room > StandardCodecSerializer::kMaxMissingElements;
  }

  // A string or byte list: built straight from the message where it holds
  // them all.
  template <typename Bytes>
  void ReadBytes(EncodableValue& value) {
    const size_t length = ReadLength();
    if (const uint8_t* bytes = source_.TakeBytes(length)) {
      // Emplaced empty and then filled: emplacing straight from the bytes,
      // which may throw, would build a temporary and move it in.
      AppendBytes(bytes, length, value.emplace<Bytes>());
      return;
    }
    ReadUnbackedBytes<Bytes>(length, value);
  }

  // A string or byte list that the message does not hold (or a stream that
  // cannot lend its bytes): zero-filled at its declared size and read into,
  // so that a short message gives zeros and a report.
  template <typename Bytes>
  VELK_NOINLINE void ReadUnbackedBytes(size_t length, EncodableValue& value) {
    if (ExceedsMessage(length)) {
      internal::ReportInvalidRead();
      value.emplace<Bytes>();
      return;
    }
    Bytes& held = value.emplace<Bytes>(length, typename Bytes::value_type{0});
    source_.GetBytes(held.data(), length);
  }

  // `count` elements into a zero-filled vector, or an empty one when the
  // message cannot hold anywhere near that many.
  template <typename Element>
  VELK_NOINLINE void ReadNumbers(EncodableValue& value) {
    const size_t count = ReadLength();
    source_.SkipToAlignment(sizeof(Element));
    const size_t bytes = count * sizeof(Element);  // count < 2^32
    if (ExceedsMessage(bytes)) {
      internal::ReportInvalidRead();
      value.emplace<std::vector<Element>>();
      return;
    }
    auto& numbers = value.emplace<std::vector<Element>>(count);
    source_.GetBytes(numbers.data(), bytes);
  }

  VELK_NOINLINE void ReadList(EncodableValue& value) {
    NestingScope scope;
    if (!scope.entered()) return;
    const size_t count = ReadLength();
    auto& list = value.emplace<EncodableValueList>();
    list.reserve(ReservationFor(count));
    for (size_t i = 0; i < count && !NestingScope::abandoned(); ++i) {
      if (ElementsExceedMessage(count - i, 1)) {
        internal::ReportInvalidRead();
        break;
      }
      ReadNextInto(list.emplace_back());
    }
  }

  VELK_NOINLINE void ReadMap(EncodableValue& value) {
    NestingScope scope;
    if (!scope.entered()) return;
    const size_t count = ReadLength();
    auto& map = value.emplace<EncodableValueMap>();
    for (size_t i = 0; i < count && !NestingScope::abandoned(); ++i) {
      if (ElementsExceedMessage(count - i, 2)) {
        internal::ReportInvalidRead();
        break;
      }
      // A repeated key keeps its first entry: the later value is read and
      // dropped.
      const size_t size_before = map.size();
      const auto entry = ReadKeyInto(map);
      if (map.size() != size_before) {
        ReadNextInto(entry->second);
      } else {
        EncodableValue dropped;
        ReadNextInto(dropped);
      }
    }
  }

  // Reads a key and inserts it with a null value. Encoders write maps in key
  // order, so the end is the likely place, where a wrong hint only costs the
  // usual search. A string key that the message holds, the usual kind, is
  // built in its entry.
  VELK_ALWAYS_INLINE EncodableValueMap::iterator ReadKeyInto(
      EncodableValueMap& map) {
    EncodableValue key;
    const uint8_t type = source_.GetByte();
    if constexpr (kNestedDirect) {
      if (type == static_cast<uint8_t>(EncodedType::kString)) {
        const size_t length = ReadLength();
        if (const uint8_t* bytes = source_.TakeBytes(length)) {
          return map.emplace_hint(
              map.end(), std::piecewise_construct,
              std::forward_as_tuple(std::in_place_type<std::string>,
                                    reinterpret_cast<const char*>(bytes),
                                    length),
              std::forward_as_tuple());
        }
        ReadUnbackedBytes<std::string>(length, key);
      } else {
        ReadInto(type, key);
      }
    } else {
      key = serializer_.ReadValueOfType(type, source_.stream());
    }
    return map.emplace_hint(map.end(), std::move(key), EncodableValue());
  }

  const StandardCodecSerializer& serializer_;
  Source source_;
};

template <typename Source, bool kNestedDirect>
EncodableValue Decode(const StandardCodecSerializer& serializer, Source source,
                      uint8_t type) {
  EncodableValue value;
  Decoder<Source, kNestedDirect>(serializer, source).ReadInto(type, value);
  return value;
}

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
  // A derived serializer sees every nested value through its override.
  if (!IsExactly<StandardCodecSerializer>(*this)) {
    Encoder<StreamSink, false>(*this, stream).WriteWhole(value);
  } else if (IsExactly<ByteBufferStreamWriter>(*stream)) {
    Encoder<VectorSink, true>(
        *this, static_cast<ByteBufferStreamWriter*>(stream)->buffer())
        .WriteWhole(value);
  } else {
    Encoder<StreamSink, true>(*this, stream).WriteWhole(value);
  }
}

EncodableValue StandardCodecSerializer::ReadValueOfType(
    uint8_t type, ByteStreamReader* stream) const {
  // A derived serializer sees every nested value through its override.
  if (!IsExactly<StandardCodecSerializer>(*this)) {
    return Decode<StreamSource, false>(*this, StreamSource(stream), type);
  }
  if (IsExactly<ByteBufferStreamReader>(*stream)) {
    return Decode<BufferSource, true>(
        *this, BufferSource(static_cast<ByteBufferStreamReader*>(stream)),
        type);
  }
  return Decode<StreamSource, true>(*this, StreamSource(stream), type);
}

EncodableValue StandardCodecSerializer::ReadNextValue(
    ByteStreamReader* stream) const {
  const uint8_t type = stream->GetByte();
  return ReadValueOfType(type, stream);
}

void StandardCodecSerializer::WriteLength(size_t length,
                                          ByteStreamWriter* stream) const {
  StreamSink(stream).PutSize(length);
}

size_t StandardCodecSerializer::ReadLength(ByteStreamReader* stream) const {
  StreamSource source(stream);
  return ReadSizePrefix(source);
}

}  // namespace flutter
