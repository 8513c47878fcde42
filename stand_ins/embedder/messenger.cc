// The stand-in's messenger: per-channel callbacks, sends towards the
// interface, and the response handles of incoming messages.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/thread_annotations.h"
#include "stand_ins/embedder/embedder_state.h"

namespace velk::embedder {

std::atomic<int> rejected_responses_total{0};

FlutterDesktopMessenger* CreateMessenger(FlutterDesktopEngine* engine) {
  auto* messenger = new FlutterDesktopMessenger();
  {
    // Nobody else sees the messenger yet; the lock only keeps the rule
    // without exceptions.
    velk::MutexLock guard(messenger->state_mutex);
    messenger->engine = engine;
  }
  return messenger;
}

void ShutDownMessenger(FlutterDesktopMessenger* messenger) {
  {
    // Taking the public lock waits for a reply that is being sent right now;
    // every later one sees the messenger unavailable.
    velk::MutexLock public_guard(messenger->public_lock);
    velk::MutexLock state_guard(messenger->state_mutex);
    messenger->engine = nullptr;
    messenger->open_responses.clear();
  }
  messenger->callbacks.clear();
  FlutterDesktopMessengerRelease(messenger);
}

}  // namespace velk::embedder

namespace {

bool Send(FlutterDesktopMessengerRef messenger, const char* channel,
          const uint8_t* message, size_t message_size,
          FlutterDesktopBinaryReply reply, void* user_data) {
  if (messenger == nullptr || channel == nullptr ||
      (message == nullptr && message_size != 0)) {
    return false;
  }
  FlutterDesktopEngine* engine;
  {
    velk::MutexLock guard(messenger->state_mutex);
    engine = messenger->engine;
  }
  if (engine == nullptr || engine->refuse_sends) return false;
  if (engine->outgoing_observer != nullptr) {
    engine->outgoing_observer(channel, message, message_size, reply != nullptr,
                              engine->outgoing_user_data);
  }
  if (engine->view != nullptr) {
    engine->view->OnMessageToInterface(channel, message, message_size,
                                       reply != nullptr);
  }
  if (reply != nullptr) {
    // The interface has no handlers of its own here, so every message it is
    // sent goes unanswered by it: the engine replies with no data, later, on
    // the platform thread, as it does for a channel nobody listens on.
    auto pending = std::make_shared<velk::embedder::PendingReply>();
    pending->reply = reply;
    pending->user_data = user_data;
    // Answered ones are forgotten here, on the platform thread.
    std::erase_if(engine->open_replies,
                  [](const auto& open) { return open->answered; });
    engine->open_replies.push_back(pending);
    velk::embedder::QueuePlatformTask(engine,
                                      [pending] { pending->AnswerEmpty(); });
  }
  return true;
}

}  // namespace

extern "C" {

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger,
                                 const char* channel, const uint8_t* message,
                                 size_t message_size) {
  return Send(messenger, channel, message, message_size, nullptr, nullptr);
}

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger,
                                          const char* channel,
                                          const uint8_t* message,
                                          size_t message_size,
                                          FlutterDesktopBinaryReply reply,
                                          void* user_data) {
  return Send(messenger, channel, message, message_size, reply, user_data);
}

void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger,
                                        const char* channel,
                                        FlutterDesktopMessageCallback callback,
                                        void* user_data) {
  if (messenger == nullptr || channel == nullptr) return;
  if (callback == nullptr) {
    messenger->callbacks.erase(channel);
  } else {
    messenger->callbacks[channel] = {callback, user_data};
  }
}

void FlutterDesktopMessengerSendResponse(
    FlutterDesktopMessengerRef messenger,
    const FlutterDesktopMessageResponseHandle* handle, const uint8_t* data,
    size_t data_length) {
  if (messenger == nullptr) return;
  std::unique_ptr<FlutterDesktopMessageResponseHandle> response;
  {
    velk::MutexLock guard(messenger->state_mutex);
    auto it = messenger->open_responses.find(handle);
    if (it == messenger->open_responses.end()) {
      // Answered before, never ours, or sent after the engine ended: a real
      // engine would touch freed memory here; the stand-in counts it so
      // tests can see it.
      ++messenger->rejected_responses;
      velk::embedder::rejected_responses_total.fetch_add(1);
      return;
    }
    response = std::move(it->second);
    messenger->open_responses.erase(it);
  }
  if (response->on_response != nullptr) {
    response->on_response(data_length == 0 ? nullptr : data, data_length,
                          response->user_data);
  }
}

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(
    FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr) {
    messenger->references.fetch_add(1, std::memory_order_relaxed);
  }
  return messenger;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr &&
      messenger->references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    delete messenger;
  }
}

// The public lock is held between these two C calls, a span that the lock
// analysis cannot follow.
FlutterDesktopMessengerRef FlutterDesktopMessengerLock(
    FlutterDesktopMessengerRef messenger) NO_THREAD_SAFETY_ANALYSIS {
  if (messenger != nullptr) messenger->public_lock.Lock();
  return messenger;
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger)
    NO_THREAD_SAFETY_ANALYSIS {
  if (messenger != nullptr) messenger->public_lock.Unlock();
}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger) {
  if (messenger == nullptr) return false;
  velk::MutexLock guard(messenger->state_mutex);
  return messenger->engine != nullptr;
}

bool VelkEmbedderDeliverMessage(FlutterDesktopEngineRef engine,
                                const char* channel, const uint8_t* data,
                                size_t size,
                                VelkEmbedderResponseCallback on_response,
                                void* user_data) {
  if (engine == nullptr || channel == nullptr) return false;
  FlutterDesktopMessenger* messenger = engine->messenger;
  auto found = messenger->callbacks.find(channel);
  if (found == messenger->callbacks.end()) {
    if (on_response != nullptr) on_response(nullptr, 0, user_data);
    return false;
  }
  // Copied: the callback may replace or remove itself while it runs.
  FlutterDesktopMessenger::ChannelCallback target = found->second;

  auto response = std::make_unique<FlutterDesktopMessageResponseHandle>();
  response->on_response = on_response;
  response->user_data = user_data;
  const FlutterDesktopMessageResponseHandle* handle = response.get();
  {
    velk::MutexLock guard(messenger->state_mutex);
    messenger->open_responses.emplace(handle, std::move(response));
  }

  FlutterDesktopMessage message = {};
  message.struct_size = sizeof(message);
  message.channel = channel;
  message.message = data;
  message.message_size = size;
  message.response_handle = handle;
  target.callback(messenger, &message, target.user_data);
  return true;
}

void VelkEmbedderSetOutgoingObserver(FlutterDesktopEngineRef engine,
                                     VelkEmbedderOutgoingCallback observer,
                                     void* user_data) {
  if (engine == nullptr) return;
  engine->outgoing_observer = observer;
  engine->outgoing_user_data = user_data;
}

int VelkEmbedderRejectedResponsesTotal(void) {
  return velk::embedder::rejected_responses_total.load();
}

void VelkEmbedderSetRefuseSends(FlutterDesktopEngineRef engine, bool refuse) {
  if (engine != nullptr) engine->refuse_sends = refuse;
}

}  // extern "C"
