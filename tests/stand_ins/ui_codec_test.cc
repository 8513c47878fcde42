// The demonstration interface's own codec: the bytes it writes, checked
// against hand-written golden bytes and against the client's decoder, and
// the replies and events it reads.

#include "stand_ins/embedder/ui_codec.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "channels/encodable_value.h"
#include "channels/method_call.h"
#include "channels/standard_method_codec.h"
#include "interfaces/vpn_channels.h"
#include "stand_ins/embedder/demo_script.h"
#include "stand_ins/embedder/demo_settings.h"
#include "tests/support/hex.h"

namespace velk::test {
namespace {

using velk::embedder::DecodeEnvelope;
using velk::embedder::DescribeEnvelope;
using velk::embedder::EncodeMethodCall;
using velk::embedder::FormatValue;
using velk::embedder::HexBytes;
using velk::embedder::UiValue;

UiValue Literal(const std::string& text) {
  UiValue value;
  std::string error;
  EXPECT_TRUE(velk::embedder::ParseLiteral(text, &value, &error))
      << text << ": " << error;
  return value;
}

TEST(UiCodecTest, EncodesCallsAsGoldenBytes) {
  struct Row {
    const char* method;
    const char* argument;  // literal
    const char* hex;
  };
  const Row rows[] = {
      // "getStatus", no argument.
      {"getStatus", "null", "070967657453746174757300"},
      // "connect" with {"mtu": 1350}: int32 0x546, no padding.
      {"connect", "{\"mtu\": 1350}",
       "0707636f6e6e656374"
       "0d01"
       "07036d7475"
       "0346050000"},
      // An int64 of 2^32 + 1400, and a negative int32.
      {"m", "[4294968696L, -2]",
       "07016d"
       "0c02"
       "047805000001000000"
       "03feffffff"},
      // Booleans, an empty list, a map kept in the order written.
      {"m", "{\"b\": true, \"a\": false, \"c\": []}",
       "07016d"
       "0d03"
       "070162"
       "01"
       "070161"
       "02"
       "070163"
       "0c00"},
      // An empty string.
      {"m", "\"\"",
       "07016d"
       "0700"},
  };
  for (const Row& row : rows) {
    std::vector<uint8_t> bytes =
        EncodeMethodCall(row.method, Literal(row.argument));
    EXPECT_EQ(ToHex(bytes), row.hex) << row.argument;
  }
}

TEST(UiCodecTest, WritesLongSizesWithTheirPrefixes) {
  // 253 fits one byte; 254 and 65535 take FE and two bytes; 65536 takes FF
  // and four.
  const struct {
    size_t length;
    const char* prefix;
  } rows[] = {{253, "07fd"},
              {254, "07fefe00"},
              {65535, "07feffff"},
              {65536, "07ff00000100"}};
  for (const auto& row : rows) {
    std::vector<uint8_t> bytes =
        EncodeMethodCall("", UiValue{std::string(row.length, 'x')});
    std::string prefix = row.prefix;
    // The method "" is 07 00; the argument's prefix follows.
    EXPECT_EQ(
        ToHex(Bytes(bytes.begin(), bytes.begin() + 2 + prefix.size() / 2)),
        "0700" + prefix);
    EXPECT_EQ(bytes.size(), 2 + prefix.size() / 2 + row.length);
  }
}

// The client's codec must read what the interface writes: the demonstration
// "connect" call arrives as the plug-in expects it, with keys not in sorted
// order on the wire.
TEST(UiCodecTest, ClientDecodesTheDemoConnectCall) {
  velk::embedder::DemoSettings settings;
  settings.settings = "private_key=k\nendpoint=10.77.0.1:51820";
  settings.address = "10.77.0.2/32";
  settings.dns = "1.1.1.1";
  settings.mtu = 1380;
  std::vector<uint8_t> bytes =
      EncodeMethodCall("connect", velk::embedder::DemoArgument(settings));
  std::unique_ptr<flutter::MethodCall> call =
      flutter::StandardMethodCodec::ForSerializer(nullptr).DecodeCall(
          bytes.data(), bytes.size());
  ASSERT_NE(call, nullptr);
  EXPECT_EQ(call->method_name(), "connect");
  const auto& map = std::get<flutter::EncodableMap>(*call->arguments());
  EXPECT_EQ(map.size(), 4u);
  EXPECT_EQ(std::get<std::string>(
                map.at(flutter::EncodableValue(vpn_channels::kSettingsKey))),
            settings.settings);
  EXPECT_EQ(std::get<std::string>(
                map.at(flutter::EncodableValue(vpn_channels::kAddressKey))),
            "10.77.0.2/32");
  EXPECT_EQ(std::get<std::string>(
                map.at(flutter::EncodableValue(vpn_channels::kDnsKey))),
            "1.1.1.1");
  EXPECT_EQ(
      std::get<int32_t>(map.at(flutter::EncodableValue(vpn_channels::kMtuKey))),
      1380);
}

TEST(UiCodecTest, ReadsRepliesAndEvents) {
  struct Row {
    const char* hex;
    const char* described;  // kind and value
  };
  const Row rows[] = {
      {"", "not-implemented"},
      {"0000", "success null"},
      {"000709636f6e6e6563746564", "success \"connected\""},
      // Type 5 is read as a string too.
      {"000502686921", "undecodable"},  // three bytes said, two given
      {"0005026869", "success \"hi\""},
      {"00040100000000000080", "success -9223372036854775807L"},
      {"010708"
       "6261645f61726773"
       "0717"
       "4578706563746564206120"
       "6d617020617267756d656e74"
       "00",
       "error \"bad_args\" \"Expected a map argument\" null"},
      {"0107017800"
       "00",
       "error \"x\" null null"},
      // Left-over bytes, an unknown envelope, a type the interface does not
      // know, a truncated integer, a list that claims more than is there.
      {"000000", "undecodable"},
      {"02", "undecodable"},
      {"0006", "undecodable"},
      {"000301", "undecodable"},
      {"000c05", "undecodable"},
  };
  for (const Row& row : rows) {
    const Bytes bytes = Hex(row.hex);
    EXPECT_EQ(DescribeEnvelope(DecodeEnvelope(bytes.data(), bytes.size()),
                               /*as_event=*/false),
              row.described)
        << row.hex;
  }
  // The same envelopes sent by the client on its own.
  const auto event = [](const std::string& hex) {
    const Bytes bytes = Hex(hex);
    return DescribeEnvelope(DecodeEnvelope(bytes.data(), bytes.size()),
                            /*as_event=*/true);
  };
  EXPECT_EQ(event(""), "end-of-stream");
  EXPECT_EQ(event("0000"), "event null");
  EXPECT_EQ(event("010701780000"), "error-event \"x\" null null");
}

TEST(UiCodecTest, QuotesStringsForTheTranscript) {
  // Russian stays readable; control bytes, quotes, backslashes and broken
  // UTF-8 (a lone continuation byte, a surrogate, an overlong form) are
  // escaped.
  EXPECT_EQ(velk::embedder::QuoteString("error:\xD0\xA1\xD0\xB5 \"a\\b\"\n"),
            "\"error:\xD0\xA1\xD0\xB5 \\\"a\\\\b\\\"\\n\"");
  EXPECT_EQ(velk::embedder::QuoteString("\x80\xED\xA0\x80\xC0\xAF\x01\x7F"),
            "\"\\x80\\xed\\xa0\\x80\\xc0\\xaf\\x01\\x7f\"");
  EXPECT_EQ(HexBytes(nullptr, 0), "-");
}

}  // namespace
}  // namespace velk::test
