// The records behind the stand-in embedder's handles. Internal to the
// stand-in; the client sees only the opaque handles of interfaces/embedder.h.

#ifndef STAND_INS_EMBEDDER_EMBEDDER_STATE_H_
#define STAND_INS_EMBEDDER_EMBEDDER_STATE_H_

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/thread_annotations.h"
#include "interfaces/embedder.h"
#include "stand_ins/embedder/embedder_testing.h"

// An incoming message waiting for its answer. Owned by the messenger until it
// is answered or the engine goes.
struct FlutterDesktopMessageResponseHandle {
  VelkEmbedderResponseCallback on_response = nullptr;
  void* user_data = nullptr;
};

struct FlutterDesktopMessenger {
  // Held by the engine and by whoever called AddRef; the last Release frees
  // the messenger, which may outlive its engine.
  std::atomic<int> references{1};

  // The lock of FlutterDesktopMessengerLock. Held by a replying thread around
  // its availability check and response, and by the engine while it shuts the
  // messenger down, so no response can slip past the engine's end.
  velk::Mutex public_lock ACQUIRED_BEFORE(state_mutex);

  // Guards the fields below, which any replying thread reaches.
  velk::Mutex state_mutex;
  // Null once the engine is gone.
  FlutterDesktopEngine* engine GUARDED_BY(state_mutex) = nullptr;
  std::map<const FlutterDesktopMessageResponseHandle*,
           std::unique_ptr<FlutterDesktopMessageResponseHandle>>
      open_responses GUARDED_BY(state_mutex);
  size_t rejected_responses GUARDED_BY(state_mutex) = 0;

  struct ChannelCallback {
    FlutterDesktopMessageCallback callback = nullptr;
    void* user_data = nullptr;
  };
  // Platform thread only.
  std::map<std::string, ChannelCallback> callbacks;
};

namespace velk::embedder {

// The window half of a view, present while a view controller lives (Windows
// only). Called on the platform thread.
class EngineView {
 public:
  virtual ~EngineView() = default;
  // The engine queued work: the platform thread's loop is to run it soon.
  virtual void WakePlatformThread() = 0;
  // A message that the native side sent to the interface.
  virtual void OnMessageToInterface(const char* channel, const uint8_t* data,
                                    size_t size, bool expects_reply) = 0;
  // A frame was drawn, or the system's fonts changed.
  virtual void Redraw() = 0;
  virtual void ReloadFonts() = 0;
};

// The reply owed to a message that the native side sent with one. The
// interface answers it on the platform thread's next turn, or the engine
// answers it when it ends: the caller's context is freed only by the call.
struct PendingReply {
  FlutterDesktopBinaryReply reply = nullptr;
  void* user_data = nullptr;
  bool answered = false;

  void AnswerEmpty() {
    if (answered) return;
    answered = true;
    reply(nullptr, 0, user_data);
  }
};

}  // namespace velk::embedder

struct FlutterDesktopPluginRegistrar {
  FlutterDesktopEngine* engine = nullptr;
  std::string plugin_name;
};

struct FlutterDesktopEngine {
  // The zero of the demonstration interface's transcript times.
  std::chrono::steady_clock::time_point created =
      std::chrono::steady_clock::now();
  // What the engine was started with; the view half reads its arguments.
  std::wstring assets_path;
  std::wstring icu_data_path;
  std::wstring aot_library_path;
  std::string entrypoint;
  std::vector<std::string> entrypoint_arguments;
  int32_t gpu_preference = 0;
  int32_t ui_thread_policy = 0;

  FlutterDesktopMessenger* messenger = nullptr;
  std::map<std::string, std::unique_ptr<FlutterDesktopPluginRegistrar>>
      registrars;

  FlutterDesktopOnNextFrameCallback next_frame_callback = nullptr;
  void* next_frame_user_data = nullptr;
  size_t frames_drawn = 0;
  size_t fonts_reloaded = 0;

  // Work for the platform thread, run by VelkEmbedderRunPendingTasks: from
  // the view's window when there is one, else by a test.
  std::vector<std::function<void()>> pending_tasks;
  bool frame_queued = false;
  velk::embedder::EngineView* view = nullptr;  // owned by the view controller
  // Replies still owed, answered in order when the engine ends.
  std::vector<std::shared_ptr<velk::embedder::PendingReply>> open_replies;

  VelkEmbedderOutgoingCallback outgoing_observer = nullptr;
  void* outgoing_user_data = nullptr;
  bool refuse_sends = false;
};

struct FlutterDesktopView {
  FlutterDesktopWindowHandle window = nullptr;
  std::unique_ptr<velk::embedder::EngineView> host;  // the window's owner
};

struct FlutterDesktopViewController {
  FlutterDesktopEngine* engine = nullptr;  // owned
  std::unique_ptr<FlutterDesktopView> view;
};

namespace velk::embedder {

// Creates the messenger of a new engine, and shuts it down when the engine
// goes: no further messages or responses, open responses dropped.
FlutterDesktopMessenger* CreateMessenger(FlutterDesktopEngine* engine);
void ShutDownMessenger(FlutterDesktopMessenger* messenger);

// Queues work for the platform thread and wakes its loop (platform thread).
void QueuePlatformTask(FlutterDesktopEngine* engine,
                       std::function<void()> task);

}  // namespace velk::embedder

#endif  // STAND_INS_EMBEDDER_EMBEDDER_STATE_H_
