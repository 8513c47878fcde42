// What the channel tests share: the stand-in embedder played from the
// interface's side.

#ifndef TESTS_CHANNELS_CHANNEL_TEST_SUPPORT_H_
#define TESTS_CHANNELS_CHANNEL_TEST_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "channels/engine_project.h"
#include "channels/flutter_engine.h"
#include "common/thread_annotations.h"
#include "stand_ins/embedder/embedder_testing.h"
#include "tests/support/hex.h"

namespace velk::test {

// The answers that the interface side got for delivered messages, from
// whichever thread sent them.
class ResponseLog {
 public:
  static void Record(const uint8_t* data, size_t size, void* user_data);

  size_t Count() const;
  std::vector<Bytes> All() const;
  Bytes Only() const;  // the one answer; a failed expectation otherwise

 private:
  mutable Mutex mutex_;
  std::vector<Bytes> responses_ GUARDED_BY(mutex_);
};

// What the native side sent to the interface.
struct OutgoingMessage {
  std::string channel;
  Bytes bytes;
  bool expects_reply = false;
};

class OutgoingLog {
 public:
  explicit OutgoingLog(FlutterDesktopEngineRef engine);
  ~OutgoingLog();
  OutgoingLog(const OutgoingLog&) = delete;
  OutgoingLog& operator=(const OutgoingLog&) = delete;

  const std::vector<OutgoingMessage>& messages() const { return messages_; }

 private:
  static void Record(const char* channel, const uint8_t* data, size_t size,
                     bool expects_reply, void* user_data);

  FlutterDesktopEngineRef engine_;
  std::vector<OutgoingMessage> messages_;
};

// Delivers `message` on `channel` as the interface would; the answers go to
// `responses`. False when nothing handles the channel.
bool Deliver(flutter::FlutterEngine& engine, const std::string& channel,
             const Bytes& message, ResponseLog* responses);

}  // namespace velk::test

#endif  // TESTS_CHANNELS_CHANNEL_TEST_SUPPORT_H_
