// Decodes arbitrary bytes: the decoder must neither crash, nor read out of
// bounds, nor allocate or loop beyond what the input justifies.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "channels/standard_codec_serializer.h"
#include "fuzz/codec_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  velk::fuzz::SilenceReports();
  const flutter::StandardCodecSerializer& serializer =
      flutter::SharedSerializer();
  flutter::ByteBufferStreamReader reader(data, size);
  // Values one after another, as a method call's name and arguments are.
  do {
    const flutter::EncodableValue value = serializer.ReadNextValue(&reader);
    std::vector<uint8_t> encoded;
    flutter::ByteBufferStreamWriter writer(&encoded);
    serializer.WriteValue(value, &writer);
  } while (reader.RemainingBytes() > 0);
  return 0;
}
