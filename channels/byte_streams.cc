#include "channels/byte_streams.h"

#include <cstring>
#include <iostream>

namespace flutter {

namespace internal {
void ReportInvalidRead() {
  std::cerr << "Invalid read in StandardCodecByteStreamReader" << std::endl;
}
}  // namespace internal

ByteBufferStreamReader::ByteBufferStreamReader(const uint8_t* data, size_t size)
    : data_(data), size_(size) {}

uint8_t ByteBufferStreamReader::GetByte() {
  if (position_ >= size_) {
    internal::ReportInvalidRead();
    return 0;
  }
  return data_[position_++];
}

void ByteBufferStreamReader::GetBytes(uint8_t* destination, size_t count) {
  // Written so that neither side can overflow, whatever count a message
  // claims.
  if (position_ > size_ || count > size_ - position_) {
    internal::ReportInvalidRead();
    return;
  }
  if (count > 0) {
    std::memcpy(destination, data_ + position_, count);
    position_ += count;
  }
}

void ByteBufferStreamReader::SkipToAlignment(size_t alignment) {
  if (alignment == 0) return;
  const size_t misalignment = position_ % alignment;
  if (misalignment != 0) position_ += alignment - misalignment;
}

size_t ByteBufferStreamReader::RemainingBytes() const {
  return position_ < size_ ? size_ - position_ : 0;
}

ByteBufferStreamWriter::ByteBufferStreamWriter(std::vector<uint8_t>* buffer)
    : buffer_(buffer) {
  // Messages are written a few bytes at a time; growing an empty vector from
  // one byte up would reallocate every few values of a small message.
  constexpr size_t kInitialCapacity = 1024;
  if (buffer_->capacity() < kInitialCapacity) {
    buffer_->reserve(kInitialCapacity);
  }
}

void ByteBufferStreamWriter::PutByte(uint8_t byte) { buffer_->push_back(byte); }

void ByteBufferStreamWriter::PutBytes(const uint8_t* source, size_t count) {
  buffer_->insert(buffer_->end(), source, source + count);
}

void ByteBufferStreamWriter::PadToAlignment(size_t alignment) {
  if (alignment == 0) return;
  const size_t misalignment = buffer_->size() % alignment;
  if (misalignment != 0) {
    buffer_->resize(buffer_->size() + alignment - misalignment, 0);
  }
}

}  // namespace flutter
