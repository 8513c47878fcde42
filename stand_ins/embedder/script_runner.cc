#include "stand_ins/embedder/script_runner.h"

#include <utility>

#include "interfaces/vpn_channels.h"

namespace velk::embedder {

ScriptRunner::ScriptRunner(std::vector<ScriptCommand> commands, HWND window,
                           UiChannels* channels, DemoPanel* panel,
                           Transcript* transcript, const DemoSettings* settings,
                           std::function<void()> close_window)
    : commands_(std::move(commands)),
      window_(window),
      channels_(channels),
      panel_(panel),
      transcript_(transcript),
      settings_(settings),
      close_window_(std::move(close_window)) {}

void ScriptRunner::Start() { Run(); }

void ScriptRunner::OnArrivals() {
  if (state_ != State::kWaiting || !WaitIsOver(commands_[next_])) return;
  KillTimer(window_, kWaitTimer);
  ++next_;
  next_started_ = false;
  state_ = State::kReady;
  Run();
}

void ScriptRunner::OnTimer(UINT_PTR timer) {
  if (timer == kSleepTimer && state_ == State::kSleeping) {
    KillTimer(window_, kSleepTimer);
    ++next_;
    next_started_ = false;
    state_ = State::kReady;
    Run();
  } else if (timer == kWaitTimer && state_ == State::kWaiting) {
    const ScriptCommand& command = commands_[next_];
    std::string seen;
    for (size_t i = status_cursor_; i < channels_->statuses().size(); ++i) {
      seen +=
          (seen.empty() ? "" : ", ") + QuoteString(channels_->statuses()[i]);
    }
    Fail("line " + std::to_string(command.line) + ": " + command.text +
         " timed out after " + std::to_string(command.milliseconds) +
         " ms; status events since the previous status wait: " +
         (seen.empty() ? "none" : seen));
  }
}

void ScriptRunner::Fail(const std::string& reason) {
  transcript_->Write("FAIL " + reason);
  panel_->ShowNote("FAIL " + reason);
  state_ = State::kFinished;
  KillTimer(window_, kSleepTimer);
  KillTimer(window_, kWaitTimer);
  close_window_();
}

void ScriptRunner::Run() {
  // A command's message is handled by the client while it is sent; should
  // that pump messages, arrivals must not start a second run inside this one.
  if (running_) return;
  running_ = true;
  using Kind = ScriptCommand::Kind;
  while (state_ == State::kReady && next_ < commands_.size()) {
    const ScriptCommand& command = commands_[next_];
    if (!next_started_) {
      next_started_ = true;
      transcript_->Write("script " + std::to_string(command.line) + " " +
                         command.text);
      ShowProgress(command.text);
      if (command.kind == Kind::kSleep || command.kind == Kind::kWaitStatus ||
          command.kind == Kind::kWaitStatusPrefix ||
          command.kind == Kind::kWaitReplies) {
        SetTimer(window_,
                 command.kind == Kind::kSleep ? kSleepTimer : kWaitTimer,
                 static_cast<UINT>(command.milliseconds), nullptr);
      }
    }
    if (command.kind == Kind::kSleep) {
      state_ = State::kSleeping;
      break;
    }
    if (command.kind == Kind::kWaitStatus ||
        command.kind == Kind::kWaitStatusPrefix ||
        command.kind == Kind::kWaitReplies) {
      if (!WaitIsOver(command)) {
        state_ = State::kWaiting;
        break;
      }
      KillTimer(window_, kWaitTimer);
    } else if (!Execute(command)) {
      break;  // Execute failed the script
    }
    ++next_;
    next_started_ = false;
  }
  if (state_ == State::kReady && next_ == commands_.size()) {
    state_ = State::kFinished;
    transcript_->Write("script done");
    ShowProgress("done");
  }
  running_ = false;
}

bool ScriptRunner::Execute(const ScriptCommand& command) {
  using Kind = ScriptCommand::Kind;
  switch (command.kind) {
    case Kind::kListen:
      channels_->Send(vpn_channels::kStatusChannel, "listen", UiValue());
      return true;
    case Kind::kCancel:
      channels_->Send(vpn_channels::kStatusChannel, "cancel", UiValue());
      return true;
    case Kind::kCall:
      if (command.demo_argument) {
        if (settings_ == nullptr) {
          Fail("line " + std::to_string(command.line) + ": " + command.text +
               ": no usable demonstration settings");
          return false;
        }
        channels_->Send(vpn_channels::kControlChannel, command.method,
                        DemoArgument(*settings_));
      } else {
        channels_->Send(vpn_channels::kControlChannel, command.method,
                        command.argument.value_or(UiValue()));
      }
      return true;
    case Kind::kClickConnect:
    case Kind::kClickDisconnect: {
      // The same message a press of the button sends its parent.
      int id = command.kind == Kind::kClickConnect
                   ? DemoPanel::kConnectButton
                   : DemoPanel::kDisconnectButton;
      SendMessageW(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(window_, id)));
      return true;
    }
    case Kind::kClose:
      close_window_();
      return true;
    case Kind::kSleep:
    case Kind::kWaitStatus:
    case Kind::kWaitStatusPrefix:
    case Kind::kWaitReplies:
      break;  // handled by Run
  }
  return true;
}

bool ScriptRunner::WaitIsOver(const ScriptCommand& command) {
  if (command.kind == ScriptCommand::Kind::kWaitReplies) {
    return channels_->AllAnswered();
  }
  const std::vector<std::string>& statuses = channels_->statuses();
  bool prefix = command.kind == ScriptCommand::Kind::kWaitStatusPrefix;
  for (size_t i = status_cursor_; i < statuses.size(); ++i) {
    bool matches = prefix ? statuses[i].starts_with(command.status)
                          : statuses[i] == command.status;
    if (matches) {
      status_cursor_ = i + 1;
      return true;
    }
  }
  return false;
}

void ScriptRunner::ShowProgress(const std::string& text) {
  panel_->ShowNote("script: " + text);
}

}  // namespace velk::embedder
