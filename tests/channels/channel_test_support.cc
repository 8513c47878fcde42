#include "tests/channels/channel_test_support.h"

#include <gtest/gtest.h>

namespace velk::test {

void ResponseLog::Record(const uint8_t* data, size_t size, void* user_data) {
  auto* log = static_cast<ResponseLog*>(user_data);
  MutexLock guard(log->mutex_);
  log->responses_.emplace_back(data, data + size);
}

size_t ResponseLog::Count() const {
  MutexLock guard(mutex_);
  return responses_.size();
}

std::vector<Bytes> ResponseLog::All() const {
  MutexLock guard(mutex_);
  return responses_;
}

Bytes ResponseLog::Only() const {
  MutexLock guard(mutex_);
  EXPECT_EQ(responses_.size(), 1u);
  return responses_.empty() ? Bytes() : responses_.front();
}

OutgoingLog::OutgoingLog(FlutterDesktopEngineRef engine) : engine_(engine) {
  VelkEmbedderSetOutgoingObserver(engine_, &Record, this);
}

OutgoingLog::~OutgoingLog() {
  VelkEmbedderSetOutgoingObserver(engine_, nullptr, nullptr);
}

void OutgoingLog::Record(const char* channel, const uint8_t* data, size_t size,
                         bool expects_reply, void* user_data) {
  auto* log = static_cast<OutgoingLog*>(user_data);
  log->messages_.push_back({channel, Bytes(data, data + size), expects_reply});
}

bool Deliver(flutter::FlutterEngine& engine, const std::string& channel,
             const Bytes& message, ResponseLog* responses) {
  return VelkEmbedderDeliverMessage(engine.engine(), channel.c_str(),
                                    message.data(), message.size(),
                                    &ResponseLog::Record, responses);
}

}  // namespace velk::test
