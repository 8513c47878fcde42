#include "channels/one_shot_reply.h"

#include <iostream>
#include <utility>

namespace flutter {

OneShotReply::OneShotReply(ChannelReply reply) : reply_(std::move(reply)) {}

OneShotReply::~OneShotReply() {
  if (reply_) {
    std::cerr << "Warning: Failed to respond to a message. This is a memory "
                 "leak."
              << std::endl;
  }
}

void OneShotReply::Send(const std::vector<uint8_t>* message) {
  if (!reply_) {
    std::cerr << "Error: Only one of Success, Error, or NotImplemented can be "
                 "called, and it can be called exactly once. Ignoring "
                 "duplicate result."
              << std::endl;
    return;
  }
  // Moved out first: the reply is answered from here on, whatever the call
  // does, and its messenger reference goes when the call returns.
  ChannelReply reply = std::move(reply_);
  reply_ = nullptr;
  if (message == nullptr || message->empty()) {
    reply(nullptr, 0);
  } else {
    reply(message->data(), message->size());
  }
}

}  // namespace flutter
