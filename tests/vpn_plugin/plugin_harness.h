// The platform thread of a plug-in test: a window that runs posted tasks as
// the main window does, and a messenger that plays the interface's side of
// the two channels with the real codec.

#ifndef TESTS_VPN_PLUGIN_PLUGIN_HARNESS_H_
#define TESTS_VPN_PLUGIN_PLUGIN_HARNESS_H_

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "channels/binary_messenger.h"
#include "channels/encodable_value.h"

namespace velk::test {

using Bytes = std::vector<uint8_t>;

// A message-only window on the calling thread that runs and frees the
// tasks posted to it (kRunTaskMessage), counting them.
class TaskWindow {
 public:
  TaskWindow();
  ~TaskWindow();
  TaskWindow(const TaskWindow&) = delete;
  TaskWindow& operator=(const TaskWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  int tasks_run() const { return tasks_run_; }

  // Runs messages until `done` holds; false after `timeout_ms` of real time.
  bool PumpUntil(const std::function<bool()>& done, int timeout_ms = 10000);
  // Runs the messages already queued.
  void PumpPending();

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                     LPARAM lparam);
  HWND hwnd_ = nullptr;
  int tasks_run_ = 0;
};

// One decoded reply or event.
struct Answer {
  enum Kind { kNone, kSuccess, kError, kNotImplemented } kind = kNone;
  std::optional<flutter::EncodableValue> value;  // success value or details
  std::string code;
  std::string message;
};
Answer DecodeAnswer(const Bytes& bytes);

// The interface's side of the messenger. Handlers run on the calling thread;
// replies are recorded with the thread that sent them.
class FakeMessenger : public flutter::BinaryMessenger {
 public:
  FakeMessenger();
  ~FakeMessenger() override;

  void SendMessage(const std::string& channel, const uint8_t* message,
                   size_t size, flutter::ChannelReply reply) override;
  void SetChannelHandler(const std::string& channel,
                         flutter::ChannelMessageHandler handler) override;

  // Delivers a method call; returns the index of its reply slot.
  size_t Call(const std::string& channel, const std::string& method,
              std::optional<flutter::EncodableValue> arguments);
  size_t CallControl(
      const std::string& method,
      std::optional<flutter::EncodableValue> arguments = std::nullopt);
  bool Listen();  // "listen" on the status channel; true on 00 00
  // Forgets the replies and the timeline; handlers stay.
  void Reset();
  bool Cancel();

  bool Replied(size_t call) const;
  Answer Reply(size_t call) const;
  DWORD ReplyThread(size_t call) const;

  // Status events in the order sent, with notes appended by Note(): each
  // entry is the status string, or the note itself.
  std::vector<std::string> Timeline() const;
  void Note(const std::string& note);
  // Events whose value was not a string, or sent off the given thread.
  int MalformedEvents(DWORD platform_thread) const;

  // Replies that exist (held by a result or by a task) and were not yet
  // destroyed; a reply lost in a leaked task stays counted.
  long LiveReplies() const { return reply_token_.use_count() - 1; }

 private:
  struct ReplySlot {
    bool replied = false;
    Bytes bytes;
    DWORD thread = 0;
  };
  mutable std::mutex mutex_;
  std::map<std::string, flutter::ChannelMessageHandler> handlers_;
  std::vector<ReplySlot> replies_;
  std::vector<std::string> timeline_;
  std::vector<DWORD> event_threads_;
  int non_string_events_ = 0;
  std::shared_ptr<int> reply_token_ = std::make_shared<int>(0);
};

}  // namespace velk::test

#endif  // TESTS_VPN_PLUGIN_PLUGIN_HARNESS_H_
