// The parts of the method codec that no channel exercises: the shared codec
// registry, call encoding and reply decoding.

#include "channels/standard_method_codec.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/channels/channel_test_support.h"

namespace velk::test {
namespace {

using flutter::EncodableValue;
using flutter::StandardMethodCodec;

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
}  // namespace velk::test
