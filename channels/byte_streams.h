#ifndef CHANNELS_BYTE_STREAMS_H_
#define CHANNELS_BYTE_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace flutter {

// The source of an encoded message.
class ByteStreamReader {
 public:
  // What RemainingBytes answers for a source that does not know its end.
  static constexpr size_t kUnknownSize = SIZE_MAX;

  virtual ~ByteStreamReader() = default;

  // The next byte; 0 with a report when the message has ended.
  virtual uint8_t GetByte() = 0;

  // Copies the next `count` bytes to `destination`. When fewer remain it
  // reports, leaves `destination` untouched and does not advance.
  virtual void GetBytes(uint8_t* destination, size_t count) = 0;

  // Advances to the next multiple of `alignment` (1-255) counted from the
  // first byte of the message.
  virtual void SkipToAlignment(size_t alignment) = 0;

  // How many bytes are left, or kUnknownSize. The decoder uses it to refuse
  // sizes and counts that the message cannot hold before it allocates or
  // loops for them.
  virtual size_t RemainingBytes() const { return kUnknownSize; }
};

// The sink of an encoded message.
class ByteStreamWriter {
 public:
  virtual ~ByteStreamWriter() = default;

  virtual void PutByte(uint8_t byte) = 0;
  virtual void PutBytes(const uint8_t* source, size_t count) = 0;

  // Appends zero bytes up to the next multiple of `alignment`, counted from
  // the first byte of the message.
  virtual void PadToAlignment(size_t alignment) = 0;
};

namespace internal {
// The one-line report of a read past the end of a message.
void ReportInvalidRead();
}  // namespace internal

// Reads a borrowed message; the bytes must outlive the reader.
//
// The operations are defined here so that the serializer, which calls them
// without the virtual slot when it holds exactly this reader, gets them
// inlined: a message is read a byte or two at a time.
class ByteBufferStreamReader : public ByteStreamReader {
 public:
  ByteBufferStreamReader(const uint8_t* data, size_t size)
      : data_(data), size_(size) {}

  uint8_t GetByte() override {
    if (position_ >= size_) {
      internal::ReportInvalidRead();
      return 0;
    }
    return data_[position_++];
  }

  void GetBytes(uint8_t* destination, size_t count) override {
    const uint8_t* source = TakeBytes(count);
    if (source == nullptr) {
      internal::ReportInvalidRead();
      return;
    }
    if (count > 0) std::memcpy(destination, source, count);
  }

  void SkipToAlignment(size_t alignment) override {
    if (alignment == 0) return;
    const size_t misalignment = position_ % alignment;
    if (misalignment != 0) position_ += alignment - misalignment;
  }

  size_t RemainingBytes() const override {
    return position_ < size_ ? size_ - position_ : 0;
  }

  // The next `count` bytes where they stand in the message, consumed, for a
  // decoder that builds a value straight from them. Null, with nothing
  // consumed and nothing reported, exactly when GetBytes of `count` would
  // fail.
  const uint8_t* TakeBytes(size_t count) {
    // Written so that neither side can overflow, whatever count a message
    // claims; after SkipToAlignment the position may stand past the end, and
    // then even an empty read fails.
    if (position_ > size_ || count > size_ - position_) return nullptr;
    const uint8_t* bytes = data_ + position_;
    position_ += count;
    return bytes;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  // May pass size_ after SkipToAlignment; the next read then fails.
  size_t position_ = 0;
};

// Appends to a vector that the caller owns and that outlives the writer.
class ByteBufferStreamWriter : public ByteStreamWriter {
 public:
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* buffer);

  void PutByte(uint8_t byte) override { buffer_->push_back(byte); }

  void PutBytes(const uint8_t* source, size_t count) override {
    buffer_->insert(buffer_->end(), source, source + count);
  }

  void PadToAlignment(size_t alignment) override {
    if (alignment == 0) return;
    const size_t misalignment = buffer_->size() % alignment;
    if (misalignment != 0) {
      buffer_->resize(buffer_->size() + alignment - misalignment, 0);
    }
  }

  // The vector appended to. The serializer writes a whole value into it
  // directly when it holds exactly this writer.
  std::vector<uint8_t>* buffer() const { return buffer_; }

 private:
  std::vector<uint8_t>* buffer_;
};

}  // namespace flutter

#endif  // CHANNELS_BYTE_STREAMS_H_
