#ifndef CHANNELS_ONE_SHOT_REPLY_H_
#define CHANNELS_ONE_SHOT_REPLY_H_

#include <cstdint>
#include <vector>

#include "channels/binary_messenger.h"

namespace flutter {

// The reply to one incoming message, sent at most once. A second send is
// reported and dropped; dropping the reply unsent is reported as a leak,
// because the interface then waits for an answer that never comes.
class OneShotReply {
 public:
  explicit OneShotReply(ChannelReply reply);
  ~OneShotReply();

  OneShotReply(const OneShotReply&) = delete;
  OneShotReply& operator=(const OneShotReply&) = delete;

  // Sends `message` (null or empty: a reply with no data).
  void Send(const std::vector<uint8_t>* message);

 private:
  ChannelReply reply_;  // empty once answered
};

}  // namespace flutter

#endif  // CHANNELS_ONE_SHOT_REPLY_H_
