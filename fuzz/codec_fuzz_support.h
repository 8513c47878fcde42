#ifndef FUZZ_CODEC_FUZZ_SUPPORT_H_
#define FUZZ_CODEC_FUZZ_SUPPORT_H_

#include <iostream>
#include <streambuf>

namespace velk::fuzz {

// Swallows the decoder's report lines, which would flood the fuzzer's output,
// and counts them.
class CountingNullBuffer : public std::streambuf {
 public:
  int lines() const { return lines_; }
  void reset() { lines_ = 0; }

 protected:
  int overflow(int c) override {
    if (c == '\n') ++lines_;
    return c;
  }

 private:
  int lines_ = 0;
};

// Routes std::cerr into a CountingNullBuffer for the whole run.
inline CountingNullBuffer& SilenceReports() {
  static CountingNullBuffer* const buffer = [] {
    auto* created = new CountingNullBuffer();
    std::cerr.rdbuf(created);
    return created;
  }();
  return *buffer;
}

}  // namespace velk::fuzz

#endif  // FUZZ_CODEC_FUZZ_SUPPORT_H_
