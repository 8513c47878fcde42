#include "channels/byte_streams.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/report_capture.h"

namespace flutter {
namespace {

const char kInvalidRead[] = "Invalid read in StandardCodecByteStreamReader";

TEST(ByteBufferStreamReaderTest, ReadsInOrderAndAlignsFromMessageStart) {
  const uint8_t data[] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
  // The reader must align on the position, not on the memory address: start
  // the message at an odd address.
  std::vector<uint8_t> shifted(1);
  shifted.insert(shifted.end(), data, data + sizeof(data));
  ByteBufferStreamReader reader(shifted.data() + 1, sizeof(data));

  EXPECT_EQ(reader.GetByte(), 0x11);
  reader.SkipToAlignment(4);
  EXPECT_EQ(reader.RemainingBytes(), 2u);
  uint8_t pair[2] = {};
  reader.GetBytes(pair, 2);
  EXPECT_EQ(pair[0], 0x55);
  EXPECT_EQ(pair[1], 0x66);
  EXPECT_EQ(reader.RemainingBytes(), 0u);
}

TEST(ByteBufferStreamReaderTest, FailedReadsReportAndLeaveEverythingAsItWas) {
  const uint8_t data[] = {0xAB, 0xCD};
  ByteBufferStreamReader reader(data, sizeof(data));
  velk::test::ReportCapture reports;

  EXPECT_EQ(reader.GetByte(), 0xAB);
  uint8_t destination[4] = {9, 9, 9, 9};
  reader.GetBytes(destination, 2);
  // A count that wraps position + count around must fail too.
  reader.GetBytes(destination, SIZE_MAX);
  EXPECT_EQ(std::vector<uint8_t>(destination, destination + 4),
            std::vector<uint8_t>({9, 9, 9, 9}));
  EXPECT_EQ(reader.GetByte(), 0xCD);  // the position did not move

  reader.SkipToAlignment(8);  // past the end, unchecked
  EXPECT_EQ(reader.RemainingBytes(), 0u);
  EXPECT_EQ(reader.GetByte(), 0);
  reader.GetBytes(destination, 0);  // even an empty read past the end fails

  EXPECT_EQ(reports.Lines(), std::vector<std::string>(4, kInvalidRead));
}

}  // namespace
}  // namespace flutter
