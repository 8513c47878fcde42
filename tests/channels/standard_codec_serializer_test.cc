#include "channels/standard_codec_serializer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/hex.h"
#include "tests/support/report_capture.h"

namespace flutter {
namespace {

using velk::test::Bytes;
using velk::test::Hex;
using Lines = std::vector<std::string>;

const char kInvalidRead[] = "Invalid read in StandardCodecByteStreamReader";
const char kUnknownType[] =
    "Unknown type in StandardCodecSerializer::ReadValueOfType: ";
const char kTooDeep[] =
    "Nesting deeper than 128 in StandardCodecSerializer::ReadValueOfType";

Bytes Encode(const EncodableValue& value, Bytes message = {}) {
  ByteBufferStreamWriter writer(&message);
  SharedSerializer().WriteValue(value, &writer);
  return message;
}

EncodableValue Decode(const Bytes& message, Lines* reports = nullptr) {
  velk::test::ReportCapture capture;
  ByteBufferStreamReader reader(message.data(), message.size());
  EncodableValue value = SharedSerializer().ReadNextValue(&reader);
  if (reports) *reports = capture.Lines();
  return value;
}

struct Golden {
  const char* meaning;
  EncodableValue value;
  const char* hex;
};

TEST(StandardCodecSerializerTest, EncodesAndDecodesGoldenVectors) {
  const Golden goldens[] = {
      {"null", EncodableValue(), "00"},
      {"true", EncodableValue(true), "01"},
      {"false", EncodableValue(false), "02"},
      {"int32 1, unpadded", EncodableValue(int32_t{1}), "03 01 00 00 00"},
      {"int64 -2", EncodableValue(int64_t{-2}), "04 fe ff ff ff ff ff ff ff"},
      {"double 1.0: type, 7 padding, value", EncodableValue(1.0),
       "06 00 00 00 00 00 00 00 00 00 00 00 00 00 f0 3f"},
      {"string abc", EncodableValue("abc"), "07 03 61 62 63"},
      {"empty string", EncodableValue(""), "07 00"},
      {"byte list", EncodableValue(Bytes{1, 0xff}), "08 02 01 ff"},
      {"int32 list [1, 2]", EncodableValue(std::vector<int32_t>{1, 2}),
       "09 02 00 00 01 00 00 00 02 00 00 00"},
      {"int64 list [-1]", EncodableValue(std::vector<int64_t>{-1}),
       "0a 01 00 00 00 00 00 00 ff ff ff ff ff ff ff ff"},
      {"float64 list [2.0]", EncodableValue(std::vector<double>{2.0}),
       "0b 01 00 00 00 00 00 00 00 00 00 00 00 00 00 40"},
      {"float32 list [1.0]", EncodableValue(std::vector<float>{1.0f}),
       "0e 01 00 00 00 00 80 3f"},
      {"empty int32 list, padded", EncodableValue(std::vector<int32_t>{}),
       "09 00 00 00"},
      {"list [1, \"a\"]",
       EncodableValue(
           EncodableValueList{EncodableValue(1), EncodableValue("a")}),
       "0c 02 03 01 00 00 00 07 01 61"},
      {"map {\"b\", \"a\", 5, null} in key order",
       EncodableValue(
           EncodableValueMap{{EncodableValue("b"), EncodableValue(true)},
                             {EncodableValue("a"), EncodableValue(false)},
                             {EncodableValue(5), EncodableValue()},
                             {EncodableValue(), EncodableValue(5)}}),
       "0d 04 00 03 05 00 00 00 03 05 00 00 00 00 07 01 61 02 07 01 62 01"},
  };
  for (const Golden& golden : goldens) {
    SCOPED_TRACE(golden.meaning);
    EXPECT_EQ(Encode(golden.value), Hex(golden.hex));
    Lines reports;
    EXPECT_EQ(Decode(Hex(golden.hex), &reports), golden.value);
    EXPECT_EQ(reports, Lines());
  }
}

TEST(StandardCodecSerializerTest, EncodesSizePrefixBoundaries) {
  const struct {
    size_t size;
    const char* hex;
  } sizes[] = {{253, "fd"},
               {254, "fe fe 00"},
               {65535, "fe ff ff"},
               {65536, "ff 00 00 01 00"},
               {0xffffffff, "ff ff ff ff ff"}};
  for (const auto& [size, hex] : sizes) {
    SCOPED_TRACE(size);
    Bytes written;
    ByteBufferStreamWriter writer(&written);
    SharedSerializer().WriteLength(size, &writer);
    EXPECT_EQ(written, Hex(hex));
    ByteBufferStreamReader reader(written.data(), written.size());
    EXPECT_EQ(SharedSerializer().ReadLength(&reader), size);
  }
  const EncodableValue long_string(std::string(254, 'x'));
  const Bytes encoded = Encode(long_string);
  EXPECT_EQ(Bytes(encoded.begin(), encoded.begin() + 4), Hex("07 fe fe 00"));
  EXPECT_EQ(Decode(encoded), long_string);
}

TEST(StandardCodecSerializerTest, AlignsFromTheStartOfTheWholeMessage) {
  // After a one-byte envelope the double's type byte stands at position 1.
  const Bytes after_envelope = Encode(EncodableValue(1.0), {0x00});
  EXPECT_EQ(after_envelope,
            Hex("00 06 00 00 00 00 00 00 00 00 00 00 00 00 f0 3f"));
  ByteBufferStreamReader reader(after_envelope.data(), after_envelope.size());
  EXPECT_EQ(reader.GetByte(), 0x00);
  EXPECT_EQ(SharedSerializer().ReadNextValue(&reader), EncodableValue(1.0));

  // An empty typed list followed by more values must not swallow them.
  const EncodableValue mixed(EncodableValueList{
      EncodableValue(std::vector<int64_t>{}), EncodableValue(int32_t{3}),
      EncodableValue(std::vector<float>{0.5f}), EncodableValue(2.5)});
  // list of 4 | int64 list, count 0, pad to 8 | int32 3 | float32 list, pad
  // to 16, 0.5 | double, pad to 24, 2.5
  EXPECT_EQ(Encode(mixed), Hex("0c 04 "
                               "0a 00 00 00 00 00 "
                               "03 03 00 00 00 "
                               "0e 01 00 00 00 00 3f "
                               "06 00 00 00 00 00 00 00 00 00 04 40"));
  EXPECT_EQ(Decode(Encode(mixed)), mixed);
}

TEST(StandardCodecSerializerTest, RoundTripsEveryAlternativeNested) {
  const EncodableValueList scalars = {
      EncodableValue(),
      EncodableValue(true),
      EncodableValue(false),
      EncodableValue(std::numeric_limits<int32_t>::min()),
      EncodableValue(std::numeric_limits<int64_t>::max()),
      EncodableValue(-0.0),
      EncodableValue(std::string(
          "\xd0\xbe\xd1\x88\xd0\xb8\xd0\xb1\xd0\xba\xd0\xb0\x00z", 14)),
      EncodableValue(Bytes(300, 0xa5)),
      EncodableValue(std::vector<int32_t>{-1, 0, 1}),
      EncodableValue(std::vector<int64_t>(70000, -7)),
      EncodableValue(std::vector<double>{1e-300, -2.5}),
      EncodableValue(std::vector<float>{3.25f}),
  };
  EncodableValueMap map;
  for (size_t i = 0; i < scalars.size(); ++i) {
    map[scalars[i]] = EncodableValue(EncodableValueList{
        scalars[scalars.size() - 1 - i], EncodableValue(scalars)});
  }
  const EncodableValue nested(EncodableValueList{
      EncodableValue(map), EncodableValue(scalars),
      EncodableValue(
          EncodableValueMap{{EncodableValue(map), EncodableValue(map)}})});
  const Bytes encoded = Encode(nested);
  Lines reports;
  const EncodableValue decoded = Decode(encoded, &reports);
  EXPECT_EQ(decoded, nested);
  EXPECT_EQ(reports, Lines());
  EXPECT_EQ(Encode(decoded), encoded);
}

TEST(StandardCodecSerializerTest, WritesCustomValuesAsNullWithAReport) {
  velk::test::ReportCapture reports;
  EXPECT_EQ(Encode(EncodableValue(EncodableValueList{
                EncodableValue(CustomValue(42)), EncodableValue(true)})),
            Hex("0c 02 00 01"));
  EXPECT_EQ(reports.Lines(),
            Lines({"Unhandled custom type in StandardCodecSerializer::"
                   "WriteValue. Custom types require codec extensions."}));
}

TEST(StandardCodecSerializerTest, DecodesOddButValidInput) {
  const struct {
    const char* meaning;
    const char* hex;
    EncodableValue expected;
  } cases[] = {
      {"type 5 reads as a string", "05 02 31 32", EncodableValue("12")},
      {"a repeated map key keeps its first value",
       "0d 02 07 01 61 03 01 00 00 00 07 01 61 03 02 00 00 00",
       EncodableValue(
           EncodableValueMap{{EncodableValue("a"), EncodableValue(1)}})},
      {"bytes after the value are left alone", "01 ff ff",
       EncodableValue(true)},
  };
  for (const auto& [meaning, hex, expected] : cases) {
    SCOPED_TRACE(meaning);
    Lines reports;
    EXPECT_EQ(Decode(Hex(hex), &reports), expected);
    EXPECT_EQ(reports, Lines());
  }
}

TEST(StandardCodecSerializerTest, RejectsUnknownTypesAsNull) {
  Lines reports;
  EXPECT_EQ(Decode(Hex("0f"), &reports), EncodableValue());
  EXPECT_EQ(reports, Lines({std::string(kUnknownType) + "15"}));
  // Inside a list only the unknown element is lost.
  EXPECT_EQ(Decode(Hex("0c 02 ff 01"), &reports),
            EncodableValue(
                EncodableValueList{EncodableValue(), EncodableValue(true)}));
  EXPECT_EQ(reports, Lines({std::string(kUnknownType) + "255"}));
}

// A message that ends early gives zero or null parts and one report per
// failed read. Sizes and counts that the message cannot back are refused
// before they cost memory or time: one report and an empty value. Small
// claims keep the zero-filled result; the bounds sit at 256 bytes and 64
// missing elements.
TEST(StandardCodecSerializerTest, ReadsPastTheEndAsZerosOrRefusesTheClaim) {
  EncodableValueList list_at_bound(66);
  list_at_bound[0] = list_at_bound[1] = EncodableValue(true);
  const struct {
    const char* meaning;
    const char* hex;
    EncodableValue expected;
    size_t failed_reads;
  } cases[] = {
      {"empty message", "", EncodableValue(), 1},
      {"int32 with 2 of 4 bytes", "03 01 02", EncodableValue(int32_t{0}), 1},
      {"double without its value", "06 00 00 00 00 00 00 00 00 00",
       EncodableValue(0.0), 1},
      {"string claims 5, has 2", "07 05 61 62",
       EncodableValue(std::string(5, '\0')), 1},
      {"16-bit size cut short", "08 fe 01", EncodableValue(Bytes()), 1},
      {"int32 list claims 2, has 1", "09 02 00 00 07 00 00 00",
       EncodableValue(std::vector<int32_t>{0, 0}), 1},
      {"list claims 3, has 1", "0c 03 01",
       EncodableValue(EncodableValueList{EncodableValue(true), EncodableValue(),
                                         EncodableValue()}),
       2},
      {"map claims 1, has only its key", "0d 01 01",
       EncodableValue(
           EncodableValueMap{{EncodableValue(true), EncodableValue()}}),
       1},
      // Claims far beyond the message.
      {"string of 4 GiB", "07 ff ff ff ff ff 61 62",
       EncodableValue(std::string()), 1},
      {"int64 list of 4 Gi", "0a ff ff ff ff ff 00 00",
       EncodableValue(std::vector<int64_t>()), 1},
      {"bytes claim 256, have 2", "08 fe 00 01 61 62",
       EncodableValue(Bytes(256, 0)), 1},
      {"bytes claim 257, have 2", "08 fe 01 01 61 62", EncodableValue(Bytes()),
       1},
      {"list of 4 Gi", "0c ff ff ff ff ff 01 01",
       EncodableValue(EncodableValueList()), 1},
      {"map of 4 Gi", "0d ff ff ff ff ff 01 01",
       EncodableValue(EncodableValueMap()), 1},
      {"list claims 66, has 2", "0c 42 01 01", EncodableValue(list_at_bound),
       64},
      {"list claims 67, has 2", "0c 43 01 01",
       EncodableValue(EncodableValueList()), 1},
  };
  for (const auto& [meaning, hex, expected, failed_reads] : cases) {
    SCOPED_TRACE(meaning);
    Lines reports;
    EXPECT_EQ(Decode(Hex(hex), &reports), expected);
    EXPECT_EQ(reports, Lines(failed_reads, kInvalidRead));
  }
}

Bytes NestedLists(int depth) {
  Bytes message;
  for (int i = 0; i < depth; ++i) message.insert(message.end(), {0x0c, 0x01});
  message.push_back(0x01);
  return message;
}

int DepthOf(const EncodableValue& value) {
  int depth = 0;
  for (const EncodableValue* at = &value;
       std::holds_alternative<EncodableValueList>(*at);
       at = &std::get<EncodableValueList>(*at).front()) {
    ++depth;
  }
  return depth;
}

TEST(StandardCodecSerializerTest, RefusesNestingBeyondTheBoundOnce) {
  const int bound = StandardCodecSerializer::kMaxNestingDepth;
  Lines reports;
  EXPECT_EQ(DepthOf(Decode(NestedLists(bound), &reports)), bound);
  EXPECT_EQ(reports, Lines());

  // Deep enough to overflow the stack if it were followed.
  EXPECT_EQ(DepthOf(Decode(NestedLists(200000), &reports)), bound);
  EXPECT_EQ(reports, Lines({kTooDeep}));

  // The refusal does not linger into the next message on this thread.
  EXPECT_EQ(Decode(Hex("0c 02 01 02"), &reports),
            EncodableValue(EncodableValueList{EncodableValue(true),
                                              EncodableValue(false)}));
  EXPECT_EQ(reports, Lines());
}

// The nesting bound is counted per thread: decodes on other threads must
// not add to it.
TEST(StandardCodecSerializerTest, SharedSerializerServesConcurrentThreads) {
  constexpr int kDepth = StandardCodecSerializer::kMaxNestingDepth - 8;
  const Bytes message = NestedLists(kDepth);
  std::vector<int> shortfalls(4);
  std::vector<std::thread> threads;
  for (int& shortfall : shortfalls) {
    threads.emplace_back([&message, &shortfall] {
      for (int round = 0; round < 50; ++round) {
        ByteBufferStreamReader reader(message.data(), message.size());
        shortfall +=
            kDepth - DepthOf(SharedSerializer().ReadNextValue(&reader));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(shortfalls, std::vector<int>(4, 0));
}

// A reader and a writer that are not the buffer ones: the serializer can
// reach them only through their virtual operations.
class ForwardingReader : public ByteStreamReader {
 public:
  explicit ForwardingReader(const Bytes& message)
      : inner_(message.data(), message.size()) {}
  uint8_t GetByte() override { return inner_.GetByte(); }
  void GetBytes(uint8_t* destination, size_t count) override {
    inner_.GetBytes(destination, count);
  }
  void SkipToAlignment(size_t alignment) override {
    inner_.SkipToAlignment(alignment);
  }
  size_t RemainingBytes() const override { return inner_.RemainingBytes(); }

 private:
  ByteBufferStreamReader inner_;
};

class ForwardingWriter : public ByteStreamWriter {
 public:
  explicit ForwardingWriter(Bytes* message) : inner_(message) {}
  void PutByte(uint8_t byte) override { inner_.PutByte(byte); }
  void PutBytes(const uint8_t* source, size_t count) override {
    inner_.PutBytes(source, count);
  }
  void PadToAlignment(size_t alignment) override {
    inner_.PadToAlignment(alignment);
  }

 private:
  ByteBufferStreamWriter inner_;
};

// Adds nothing; being a derived class, it gets every nested value through
// its own slots.
class DerivedSerializer : public StandardCodecSerializer {};

// What a decode gave and reported, so that two ways of decoding compare.
struct Decoded {
  EncodableValue value;
  Lines reports;
  bool operator==(const Decoded&) const = default;
};

enum class Path { kBuffer, kForwardingStream, kDerivedSerializer };

Decoded DecodeBy(Path path, const Bytes& message) {
  velk::test::ReportCapture capture;
  Decoded decoded;
  if (path == Path::kForwardingStream) {
    ForwardingReader reader(message);
    decoded.value = SharedSerializer().ReadNextValue(&reader);
  } else {
    const DerivedSerializer derived;
    const StandardCodecSerializer& serializer =
        path == Path::kBuffer ? SharedSerializer() : derived;
    ByteBufferStreamReader reader(message.data(), message.size());
    decoded.value = serializer.ReadNextValue(&reader);
  }
  decoded.reports = capture.Lines();
  return decoded;
}

Bytes EncodeBy(Path path, const EncodableValue& value, Bytes message) {
  if (path == Path::kForwardingStream) {
    ForwardingWriter writer(&message);
    SharedSerializer().WriteValue(value, &writer);
  } else {
    const DerivedSerializer derived;
    const StandardCodecSerializer& serializer =
        path == Path::kBuffer ? SharedSerializer() : derived;
    ByteBufferStreamWriter writer(&message);
    serializer.WriteValue(value, &writer);
  }
  return message;
}

// The serializer writes and reads the buffer streams with code of its own;
// over any other stream, or as the base of a derived serializer, it goes
// through the virtual operations. Both must give the same bytes, values and
// reports, for odd and malformed input too.
TEST(StandardCodecSerializerTest, BufferStreamsAndOtherStreamsAgree) {
  const char* messages[] = {
      "0d 04 00 03 05 00 00 00 03 05 00 00 00 00 07 01 61 02 07 01 62 01",
      ("0c 04 0a 00 00 00 00 00 03 03 00 00 00 0e 01 00 00 00 00 3f "
       "06 00 00 00 00 00 00 00 00 00 04 40"),
      "0d 02 07 01 61 0c 01 01 07 01 61 0c 02 01 02",  // repeated key
      "0d 02 05 01 61 01 03 07 00 00 00 02",           // type 5 and int keys
      "0d 01 07 05 61",              // key claims 5 bytes, has 1
      "0d 02 07 01 61 07 fe 01 01",  // value claims 257 bytes
      "0c 03 07 02 61 62 08 03 01",  // byte list cut short
      "0c 02 06 00 00",              // double without its value
      "0d 01 0f 01",                 // unknown key type
      "07 ff ff ff ff ff 61 62",     // 4 GiB string
      "0c 43 01 01",                 // 67 elements claimed, 2 held
  };
  for (const char* hex : messages) {
    SCOPED_TRACE(hex);
    const Bytes message = Hex(hex);
    const Decoded expected = DecodeBy(Path::kBuffer, message);
    EXPECT_EQ(DecodeBy(Path::kForwardingStream, message), expected);
    EXPECT_EQ(DecodeBy(Path::kDerivedSerializer, message), expected);
  }
  Decoded deep = DecodeBy(Path::kBuffer, NestedLists(300));
  EXPECT_EQ(deep.reports, Lines({kTooDeep}));
  EXPECT_EQ(DecodeBy(Path::kForwardingStream, NestedLists(300)), deep);
  EXPECT_EQ(DecodeBy(Path::kDerivedSerializer, NestedLists(300)), deep);

  // Longer than what the buffer path keeps on the stack, after bytes already
  // in the vector, with aligned values after the long string.
  const EncodableValue long_message(EncodableValueList{
      EncodableValue(std::string(1500, 's')), EncodableValue(2.5),
      EncodableValue(std::vector<int32_t>{7, 8}),
      EncodableValue(EncodableValueMap{
          {EncodableValue("k"), EncodableValue(Bytes(600, 0x5a))},
          {EncodableValue(int32_t{-1}), EncodableValue(CustomValue(1))}})});
  for (const Bytes& prefix : {Bytes{}, Bytes{0xaa, 0xbb, 0xcc}}) {
    SCOPED_TRACE(prefix.size());
    velk::test::ReportCapture reports;
    const Bytes expected = EncodeBy(Path::kBuffer, long_message, prefix);
    EXPECT_EQ(EncodeBy(Path::kForwardingStream, long_message, prefix),
              expected);
    EXPECT_EQ(EncodeBy(Path::kDerivedSerializer, long_message, prefix),
              expected);
    // The double stands after the prefix, the list head and the string:
    // its 8 bytes start on a multiple of 8 counted from the vector's start.
    const size_t type_at = prefix.size() + 2 + 4 + 1500;
    ASSERT_EQ(expected[type_at], 0x06);
    const size_t value_at = (type_at + 1 + 7) / 8 * 8;
    double read_back = 0;
    std::memcpy(&read_back, expected.data() + value_at, sizeof(read_back));
    EXPECT_EQ(read_back, 2.5);
    EXPECT_EQ(reports.Lines().size(), 3u);  // one custom value, each path
  }
}

// A point, for a serializer that extends the encoding with a type byte of
// its own.
struct Point {
  int32_t x;
  int32_t y;
};

class PointSerializer : public StandardCodecSerializer {
 public:
  static constexpr uint8_t kPointType = 128;

  void WriteValue(const EncodableValue& value,
                  ByteStreamWriter* stream) const override {
    const auto* custom = std::get_if<CustomValue>(&value);
    const Point* point = custom ? custom->TryGetValue<Point>() : nullptr;
    if (point == nullptr) {
      StandardCodecSerializer::WriteValue(value, stream);
      return;
    }
    stream->PutByte(kPointType);
    stream->PutBytes(reinterpret_cast<const uint8_t*>(&point->x), 4);
    stream->PutBytes(reinterpret_cast<const uint8_t*>(&point->y), 4);
  }

  EncodableValue ReadValueOfType(uint8_t type,
                                 ByteStreamReader* stream) const override {
    if (type != kPointType) {
      return StandardCodecSerializer::ReadValueOfType(type, stream);
    }
    Point point{};
    stream->GetBytes(reinterpret_cast<uint8_t*>(&point.x), 4);
    stream->GetBytes(reinterpret_cast<uint8_t*>(&point.y), 4);
    return EncodableValue(CustomValue(point));
  }
};

// The serializer's extension points: a derived serializer's overrides see
// the values nested in lists and maps, over the buffer streams too.
TEST(StandardCodecSerializerTest, DerivedSerializerSeesNestedValues) {
  const PointSerializer serializer;
  const EncodableValue value(EncodableValueList{
      EncodableValue("p"), EncodableValue(EncodableValueMap{
                               {EncodableValue(int32_t{1}),
                                EncodableValue(CustomValue(Point{3, -1}))}})});
  Bytes message;
  ByteBufferStreamWriter writer(&message);
  serializer.WriteValue(value, &writer);
  EXPECT_EQ(message, Hex("0c 02 07 01 70 0d 01 03 01 00 00 00 "
                         "80 03 00 00 00 ff ff ff ff"));

  ByteBufferStreamReader reader(message.data(), message.size());
  const EncodableValue decoded = serializer.ReadNextValue(&reader);
  const auto& list = std::get<EncodableValueList>(decoded);
  ASSERT_EQ(list.size(), 2u);
  const auto& map = std::get<EncodableValueMap>(list[1]);
  ASSERT_EQ(map.size(), 1u);
  const Point* point =
      std::get<CustomValue>(map.begin()->second).TryGetValue<Point>();
  ASSERT_NE(point, nullptr);
  EXPECT_EQ(point->x, 3);
  EXPECT_EQ(point->y, -1);
}

}  // namespace
}  // namespace flutter
