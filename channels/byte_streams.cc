#include "channels/byte_streams.h"

#include <iostream>

namespace flutter {

namespace internal {
void ReportInvalidRead() {
  std::cerr << "Invalid read in StandardCodecByteStreamReader" << std::endl;
}
}  // namespace internal

ByteBufferStreamWriter::ByteBufferStreamWriter(std::vector<uint8_t>* buffer)
    : buffer_(buffer) {
  // Messages are written a few bytes at a time; growing an empty vector from
  // one byte up would reallocate every few values of a small message.
  constexpr size_t kInitialCapacity = 1024;
  if (buffer_->capacity() < kInitialCapacity) {
    buffer_->reserve(kInitialCapacity);
  }
}

}  // namespace flutter
