// Replies to incoming messages from many threads at once, also while the
// engine goes away. Meant to be run under ThreadSanitizer as well: every
// reply crosses threads through the messenger lock only.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "channels/flutter_engine.h"
#include "channels/method_channel.h"
#include "channels/standard_method_codec.h"
#include "interfaces/vpn_channels.h"
#include "tests/channels/channel_test_support.h"

namespace velk::test {
namespace {

using flutter::EncodableValue;
using flutter::MethodCall;
using flutter::MethodResult;

constexpr const char* kChannel = vpn_channels::kControlChannel;
constexpr int kThreads = 8;
constexpr int kCallsPerThread = 50;

// Collects the results that the handler hands out, for worker threads.
struct ResultQueue {
  std::vector<std::unique_ptr<MethodResult>> results;

  void Register(flutter::MethodChannel* channel) {
    channel->SetCallHandler(
        [this](const MethodCall&, std::unique_ptr<MethodResult> result) {
          results.push_back(std::move(result));
        });
  }
};

// Answers results[first], results[first + step], ... with their index.
void AnswerEveryStep(std::vector<std::unique_ptr<MethodResult>>* results,
                     size_t first, size_t step) {
  for (size_t i = first; i < results->size(); i += step) {
    (*results)[i]->Success(EncodableValue(static_cast<int32_t>(i)));
  }
}

// An engine whose channel has been sent kThreads * kCallsPerThread calls,
// each result waiting in the queue.
class ReplyThreadsTest : public testing::Test {
 protected:
  void SetUp() override {
    queue.Register(&channel);
    const Bytes call = Hex("07 09") + Text("getStatus") + Hex("00");
    for (ResponseLog& log : responses) Deliver(*engine, kChannel, call, &log);
    ASSERT_EQ(queue.results.size(), responses.size());
  }

  std::unique_ptr<flutter::FlutterEngine> engine =
      std::make_unique<flutter::FlutterEngine>(
          flutter::EngineProjectIn(L"data"));
  flutter::MethodChannel channel{
      engine->GetMessenger(), kChannel,
      &flutter::StandardMethodCodec::ForSerializer(nullptr)};
  ResultQueue queue;
  std::vector<ResponseLog> responses =
      std::vector<ResponseLog>(kThreads * kCallsPerThread);
};

TEST_F(ReplyThreadsTest, ManyThreadsAnswerManyResults) {
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back(AnswerEveryStep, &queue.results, t, kThreads);
  }
  for (std::thread& worker : workers) worker.join();

  for (size_t i = 0; i < responses.size(); ++i) {
    // 00, then int32 i.
    Bytes expected = Hex("00 03") + Bytes{static_cast<uint8_t>(i & 0xFF),
                                          static_cast<uint8_t>(i >> 8), 0, 0};
    ASSERT_EQ(responses[i].Only(), expected) << i;
  }
  EXPECT_EQ(VelkEmbedderGetCounters(engine->engine()).open_responses, 0u);
  queue.results.clear();
  EXPECT_EQ(VelkEmbedderGetCounters(engine->engine()).messenger_references, 1);
}

TEST_F(ReplyThreadsTest, EngineGoesAwayWhileRepliesRace) {
  // Each worker owns its share of the results and answers them while the
  // platform thread destroys the engine.
  std::atomic<int> started{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    std::vector<std::unique_ptr<MethodResult>> share;
    for (size_t i = t; i < queue.results.size(); i += kThreads) {
      share.push_back(std::move(queue.results[i]));
    }
    workers.emplace_back([share = std::move(share), &started]() mutable {
      started.fetch_add(1);
      for (auto& result : share) {
        result->Success();
        result.reset();
      }
    });
  }
  int rejected_before = VelkEmbedderRejectedResponsesTotal();
  while (started.load() < kThreads / 2) std::this_thread::yield();
  engine.reset();
  for (std::thread& worker : workers) worker.join();

  // No response reached the embedder after its end, and every message got
  // at most one answer, each a well-formed success; the
  // ones after the engine's end were dropped.
  for (const ResponseLog& log : responses) {
    std::vector<Bytes> all = log.All();
    ASSERT_LE(all.size(), 1u);
    if (!all.empty()) {
      EXPECT_EQ(all[0], Hex("00 00"));
    }
  }
  EXPECT_EQ(VelkEmbedderRejectedResponsesTotal(), rejected_before);
}

}  // namespace
}  // namespace velk::test
