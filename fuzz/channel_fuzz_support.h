// What the channel fuzz targets share: the stand-in embedder played from the
// interface's side, counting the answers to each delivered message.

#ifndef FUZZ_CHANNEL_FUZZ_SUPPORT_H_
#define FUZZ_CHANNEL_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <streambuf>
#include <vector>

#include "channels/flutter_engine.h"
#include "stand_ins/embedder/embedder_testing.h"

namespace velk::fuzz {

// Swallows the channel layer's report lines, which would flood the output.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

inline void SilenceChannelReports() {
  static NullBuffer* const buffer = new NullBuffer();
  std::cerr.rdbuf(buffer);
}

// The answers to one delivered message.
struct Answers {
  int count = 0;
  std::vector<uint8_t> last;

  static void Record(const uint8_t* data, size_t size, void* user_data) {
    auto* answers = static_cast<Answers*>(user_data);
    ++answers->count;
    answers->last.assign(data, data + size);
  }
};

// Delivers a message on `channel` and stops the run unless it got exactly
// one answer and the embedder holds no open or doubly answered handle.
inline Answers DeliverExpectingOneAnswer(flutter::FlutterEngine& engine,
                                         const char* channel,
                                         const uint8_t* data, size_t size) {
  Answers answers;
  VelkEmbedderDeliverMessage(engine.engine(), channel, data, size,
                             &Answers::Record, &answers);
  VelkEmbedderCounters counters = VelkEmbedderGetCounters(engine.engine());
  if (answers.count != 1 || counters.open_responses != 0 ||
      counters.rejected_responses != 0) {
    std::fprintf(stderr,
                 "message of %zu bytes: %d answers, %zu open, %zu "
                 "rejected\n",
                 size, answers.count, counters.open_responses,
                 counters.rejected_responses);
    std::abort();
  }
  return answers;
}

}  // namespace velk::fuzz

#endif  // FUZZ_CHANNEL_FUZZ_SUPPORT_H_
