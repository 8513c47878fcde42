// The VPN plug-in as the client runs it: inside the client's main window,
// opened in the test's process under Wine's null display driver with the
// stand-in embedder, with a fake world behind it. The test plays the
// interface's side of the two channels through the embedder's testing hooks.

#ifndef TESTS_VPN_PLUGIN_PLUGIN_TEST_FIXTURE_H_
#define TESTS_VPN_PLUGIN_PLUGIN_TEST_FIXTURE_H_

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "channels/encodable_value.h"
#include "client/flutter_window.h"
#include "client/vpn_plugin/outside_world.h"
#include "common/thread_annotations.h"
#include "interfaces/embedder.h"
#include "tests/support/message_pump.h"
#include "tests/vpn_plugin/fake_tunnel_world.h"

namespace velk::test {

// A settings text that builds: keys 00..1f and e0..ff, endpoint e:1.
extern const char kValidSettings[];

// One decoded reply.
struct Answer {
  enum Kind { kNone, kSuccess, kError, kNotImplemented } kind = kNone;
  std::optional<flutter::EncodableValue> value;  // success value or details
  std::string code;
  std::string message;
};

// The client's main window with the given world behind its plug-in, and
// what the interface received: the status events (and the test's notes) in
// arrival order, and the reply to each call. Made and used on the platform
// thread; whatever arrives on another thread counts as misdelivered.
class WindowedPlugin {
 public:
  explicit WindowedPlugin(OutsideWorld world);
  ~WindowedPlugin() { DestroyWindowObject(); }
  WindowedPlugin(const WindowedPlugin&) = delete;
  WindowedPlugin& operator=(const WindowedPlugin&) = delete;

  bool opened() const { return engine_ != nullptr; }

  // Delivers a method call; returns the index of its reply.
  size_t Call(const char* channel, const std::string& method,
              std::optional<flutter::EncodableValue> arguments);
  size_t CallControl(
      const std::string& method,
      std::optional<flutter::EncodableValue> arguments = std::nullopt);
  bool Listen();  // on the status channel; true on a success reply
  bool Cancel();

  bool Replied(size_t call) const;
  Answer Reply(size_t call) const;
  // How many timeline entries had arrived before the reply did.
  size_t ReplyPosition(size_t call) const;

  std::vector<std::string> Timeline() const;
  // Any thread: adds `note` to the timeline through the window's queue, as
  // the plug-in's workers send their statuses.
  void Note(const std::string& note);
  // Events that are not a status string, and events and replies that
  // arrived off the platform thread.
  int Misdelivered() const;
  // Empties the record, so that a long run's record does not count as the
  // plug-in's memory; call indices restart from 0. Every call must have
  // been answered.
  void Forget();

  // The window object goes, and its plug-in and engine with it; the record
  // stays.
  void DestroyWindowObject();

 private:
  struct ReplySlot {
    WindowedPlugin* owner = nullptr;
    bool replied = false;
    std::vector<uint8_t> bytes;
    size_t position = 0;
  };
  static void OnOutgoing(const char* channel, const uint8_t* data, size_t size,
                         bool expects_reply, void* user_data);
  static void OnResponse(const uint8_t* data, size_t size, void* user_data);

  const DWORD platform_thread_;
  std::unique_ptr<FlutterWindow> window_;
  std::atomic<HWND> hwnd_{nullptr};
  FlutterDesktopEngineRef engine_ = nullptr;

  mutable Mutex mutex_;  // the record is written from any thread
  // Stable: each is a response's context.
  std::deque<ReplySlot> replies_ GUARDED_BY(mutex_);
  std::vector<std::string> timeline_ GUARDED_BY(mutex_);
  int misdelivered_ GUARDED_BY(mutex_) = 0;
};

// A world and the plug-in's window on the test's thread. Public: table rows
// act on the fixture from outside.
class PluginTest : public testing::Test {
 public:
  ~PluginTest() override;

  // Makes the world, then opens the window. The world's notes ("#start" and
  // the like) join the timeline in the order their threads made them.
  void Start(FakeTunnelWorld::Setup setup);
  // A new window (and plug-in) on the same world.
  void OpenWindow();

  // "connect" with the given settings and fixed address, dns and MTU.
  size_t Connect(const std::string& settings = kValidSettings);
  // A call that answers at once.
  Answer CallAndReply(
      const std::string& method,
      std::optional<flutter::EncodableValue> arguments = std::nullopt);

  // Destroys the window and its plug-in and waits until no thread holds the
  // world: every worker has ended and every task it posted is gone.
  bool DestroyPluginAndWaitForWorkers();

  bool WaitForTimeline(size_t entries);
  std::vector<std::string> Timeline() const { return window_->Timeline(); }

  std::shared_ptr<FakeTunnelWorld> world_;
  std::unique_ptr<WindowedPlugin> window_;
};

}  // namespace velk::test

#endif  // TESTS_VPN_PLUGIN_PLUGIN_TEST_FIXTURE_H_
