// The parts of the method codec that no channel exercises: the shared codec
// registry, call encoding and reply decoding.

#include "channels/standard_method_codec.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/channels/channel_test_support.h"

namespace {

using flutter::EncodableValue;
using flutter::EncodableValueList;
using flutter::StandardMethodCodec;
using velk_test::Bytes;
using velk_test::Hex;
using velk_test::operator+;
using velk_test::Text;

// Records how a reply was understood.
class RecordingResult : public flutter::MethodResult {
 public:
  std::string outcome;

 protected:
  void OnSuccess(const EncodableValue* result) override {
    outcome = result == nullptr ? "success" : "success with value";
    value_ = result == nullptr ? EncodableValue() : *result;
  }
  void OnError(const std::string& code, const std::string& message,
               const EncodableValue* details) override {
    outcome = "error " + code + "/" + message +
              (details == nullptr ? "" : " with details");
  }
  void OnNotImplemented() override { outcome = "not implemented"; }

 public:
  EncodableValue value_;
};

TEST(StandardMethodCodecTest, KeepsOneCodecPerSerializer) {
  const StandardMethodCodec& shared =
      StandardMethodCodec::ForSerializer(nullptr);
  EXPECT_EQ(&StandardMethodCodec::ForSerializer(nullptr), &shared);
  EXPECT_EQ(&StandardMethodCodec::ForSerializer(&flutter::SharedSerializer()),
            &shared);
  flutter::StandardCodecSerializer own;
  const StandardMethodCodec& other = StandardMethodCodec::ForSerializer(&own);
  EXPECT_NE(&other, &shared);
  EXPECT_EQ(&StandardMethodCodec::ForSerializer(&own), &other);
}

TEST(StandardMethodCodecTest, EncodesCallsThatItDecodes) {
  const StandardMethodCodec& codec =
      StandardMethodCodec::ForSerializer(nullptr);
  flutter::MethodCall call(
      "connect", std::make_unique<EncodableValue>(EncodableValueList{
                     EncodableValue(int32_t{1}), EncodableValue("two")}));
  std::unique_ptr<Bytes> bytes = codec.EncodeCall(call);
  // 07 07 "connect", 0C list of 02: 03 int32 1, 07 03 "two".
  EXPECT_EQ(*bytes, Hex("07 07") + Text("connect") +
                        Hex("0C 02 03 01 00 00 00 07 03") + Text("two"));
  // Bytes after the arguments are ignored.
  Bytes padded = *bytes + Hex("FF FF");
  std::unique_ptr<flutter::MethodCall> decoded =
      codec.DecodeCall(padded.data(), padded.size());
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(decoded->method_name(), "connect");
  EXPECT_EQ(*decoded->arguments(), *call.arguments());

  // A call without an arguments object is written with null arguments.
  flutter::MethodCall bare("getStatus", nullptr);
  EXPECT_EQ(*codec.EncodeCall(bare),
            Hex("07 09") + Text("getStatus") + Hex("00"));
}

TEST(StandardMethodCodecTest, DecodesReplies) {
  const StandardMethodCodec& codec =
      StandardMethodCodec::ForSerializer(nullptr);
  auto decode = [&](const Bytes& reply) {
    RecordingResult result;
    bool understood =
        codec.DecodeReplyInto(reply.data(), reply.size(), &result);
    return understood ? result.outcome : std::string("not understood");
  };
  EXPECT_EQ(decode(Hex("00 00")), "success");
  EXPECT_EQ(decode(Hex("00 07 09") + Text("connected")), "success with value");
  EXPECT_EQ(decode(Hex("01 07 01 78 00 00")), "error x/");
  EXPECT_EQ(decode(Hex("01 07 01 78 07 01 6D 01")), "error x/m with details");
  EXPECT_EQ(decode(Bytes()), "not implemented");
  EXPECT_EQ(decode(Hex("02 00")), "not understood");
  // A code that is not a string, or a message that is neither string nor
  // null, is no reply this codec wrote.
  EXPECT_EQ(decode(Hex("01 03 01 00 00 00 00 00")), "not understood");
  EXPECT_EQ(decode(Hex("01 07 01 78 01 00")), "not understood");
}

}  // namespace
