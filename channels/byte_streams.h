#ifndef CHANNELS_BYTE_STREAMS_H_
#define CHANNELS_BYTE_STREAMS_H_

#include <cstddef>
#include <cstdint>
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

// Reads a borrowed message; the bytes must outlive the reader.
class ByteBufferStreamReader : public ByteStreamReader {
 public:
  ByteBufferStreamReader(const uint8_t* data, size_t size);

  uint8_t GetByte() override;
  void GetBytes(uint8_t* destination, size_t count) override;
  void SkipToAlignment(size_t alignment) override;
  size_t RemainingBytes() const override;

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

  void PutByte(uint8_t byte) override;
  void PutBytes(const uint8_t* source, size_t count) override;
  void PadToAlignment(size_t alignment) override;

 private:
  std::vector<uint8_t>* buffer_;
};

namespace internal {
// The one-line report of a read past the end of a message.
void ReportInvalidRead();
}  // namespace internal

}  // namespace flutter

#endif  // CHANNELS_BYTE_STREAMS_H_
