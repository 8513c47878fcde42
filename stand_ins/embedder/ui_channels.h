// The demonstration interface's side of the two channels: it sends method
// calls as the user interface would, and collects the replies and the
// messages the client sends by itself, every one written to the transcript.

#ifndef STAND_INS_EMBEDDER_UI_CHANNELS_H_
#define STAND_INS_EMBEDDER_UI_CHANNELS_H_

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/thread_annotations.h"
#include "interfaces/vpn_channels.h"
#include "stand_ins/embedder/embedder_state.h"
#include "stand_ins/embedder/transcript.h"
#include "stand_ins/embedder/ui_codec.h"

namespace velk::embedder {

class UiChannels {
 public:
  struct Call {
    int id = 0;  // from 1, in the order sent
    std::string channel;
    std::string method;
  };

  // Told, on the platform thread, of what arrived.
  class Listener {
   public:
    virtual ~Listener() = default;
    virtual void OnStatusEvent(const std::string& status) = 0;
    virtual void OnReply(const Call& call, const UiEnvelope& reply) = 0;
  };

  // Arrivals are handed to the platform thread by posting `arrival_message`
  // to `window`, whose procedure then calls DeliverArrivals.
  UiChannels(FlutterDesktopEngine* engine, Transcript* transcript, HWND window,
             UINT arrival_message);
  ~UiChannels();

  UiChannels(const UiChannels&) = delete;
  UiChannels& operator=(const UiChannels&) = delete;

  void SetListener(Listener* listener) { listener_ = listener; }

  // Sends a method call (platform thread); returns its id.
  int Send(const char* channel, const std::string& method,
           const UiValue& argument);

  // A message the client sent on its own (platform thread).
  void OnMessageFromClient(const char* channel, const uint8_t* data,
                           size_t size, bool expects_reply);

  // Hands what arrived since the last time to the listener, in order.
  void DeliverArrivals();

  // The window is gone: arrivals stay queued instead of being posted to a
  // handle that may already name another window.
  void StopPosting();

  // Every call sent has had its reply delivered.
  bool AllAnswered() const { return open_calls_.empty(); }

  // Every status event delivered so far, in order.
  const std::vector<std::string>& statuses() const { return statuses_; }

 private:
  struct OpenCall {
    UiChannels* owner = nullptr;
    Call call;
  };
  struct Arrival {
    int call_id = 0;  // 0: a message the client sent on its own
    std::vector<uint8_t> bytes;
  };

  // The embedder's response callback; any thread.
  static void OnResponse(const uint8_t* data, size_t size, void* user_data);
  void Queue(Arrival arrival);

  FlutterDesktopEngine* const engine_;
  Transcript* const transcript_;
  const UINT arrival_message_;
  Listener* listener_ = nullptr;
  int last_call_id_ = 0;

  // Platform thread only. A call's record is read by the thread that answers
  // it and erased only once that answer is queued; the engine ends before
  // this object does, so no answer comes later.
  std::map<int, std::unique_ptr<OpenCall>> open_calls_;
  std::vector<std::string> statuses_;

  Mutex arrivals_mutex_;
  HWND window_ GUARDED_BY(arrivals_mutex_);
  std::vector<Arrival> arrivals_ GUARDED_BY(arrivals_mutex_);
  bool arrival_posted_ GUARDED_BY(arrivals_mutex_) = false;
};

}  // namespace velk::embedder

#endif  // STAND_INS_EMBEDDER_UI_CHANNELS_H_
