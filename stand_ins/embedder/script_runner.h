// Runs a script of the demonstration interface (docs/demo-script.md) on the
// platform thread: commands one after another, waits and pauses as timers of
// the view's window, so the thread's loop keeps running throughout.

#ifndef STAND_INS_EMBEDDER_SCRIPT_RUNNER_H_
#define STAND_INS_EMBEDDER_SCRIPT_RUNNER_H_

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "stand_ins/embedder/demo_panel.h"
#include "stand_ins/embedder/demo_script.h"
#include "stand_ins/embedder/demo_settings.h"
#include "stand_ins/embedder/transcript.h"
#include "stand_ins/embedder/ui_channels.h"

namespace velk::embedder {

class ScriptRunner {
 public:
  // The timer identifiers the runner uses on `window`.
  static constexpr UINT_PTR kSleepTimer = 1;
  static constexpr UINT_PTR kWaitTimer = 2;

  // `settings` is null when there are none; the objects outlive the runner.
  // `close_window` closes the top-level window that holds the view.
  ScriptRunner(std::vector<ScriptCommand> commands, HWND window,
               UiChannels* channels, DemoPanel* panel, Transcript* transcript,
               const DemoSettings* settings,
               std::function<void()> close_window);

  ScriptRunner(const ScriptRunner&) = delete;
  ScriptRunner& operator=(const ScriptRunner&) = delete;

  // Runs commands until one has to wait.
  void Start();
  // Something arrived: a waiting command may be satisfied now.
  void OnArrivals();
  void OnTimer(UINT_PTR timer);

  // Ends the script with a FAIL line and closes the top-level window.
  void Fail(const std::string& reason);

 private:
  enum class State { kReady, kSleeping, kWaiting, kFinished };

  void Run();
  // Carries out a command that does not wait; false when the run ends.
  bool Execute(const ScriptCommand& command);
  bool WaitIsOver(const ScriptCommand& command);
  void ShowProgress(const std::string& text);

  const std::vector<ScriptCommand> commands_;
  const HWND window_;
  UiChannels* const channels_;
  DemoPanel* const panel_;
  Transcript* const transcript_;
  const DemoSettings* const settings_;
  const std::function<void()> close_window_;

  State state_ = State::kReady;
  size_t next_ = 0;
  bool next_started_ = false;  // the command at next_ is in the transcript
  // Status events before this index were looked at by an earlier wait.
  size_t status_cursor_ = 0;
  bool running_ = false;  // guards Run against re-entry
};

}  // namespace velk::embedder

#endif  // STAND_INS_EMBEDDER_SCRIPT_RUNNER_H_
