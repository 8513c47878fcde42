#include "tests/vpn_plugin/plugin_harness.h"

#include <chrono>
#include <utility>

#include "channels/method_call.h"
#include "channels/method_result.h"
#include "channels/standard_method_codec.h"
#include "client/platform_task.h"
#include "client/vpn_plugin/vpn_plugin.h"

namespace velk::test {
namespace {

constexpr wchar_t kWindowClass[] = L"VelkPluginTestTaskWindow";

const flutter::StandardMethodCodec& Codec() {
  return flutter::StandardMethodCodec::ForSerializer(nullptr);
}

class CapturingResult : public flutter::MethodResult {
 public:
  explicit CapturingResult(Answer* answer) : answer_(answer) {}

 protected:
  void OnSuccess(const flutter::EncodableValue* result) override {
    answer_->kind = Answer::kSuccess;
    if (result != nullptr) answer_->value = *result;
  }
  void OnError(const std::string& code, const std::string& message,
               const flutter::EncodableValue* details) override {
    answer_->kind = Answer::kError;
    answer_->code = code;
    answer_->message = message;
    if (details != nullptr) answer_->value = *details;
  }
  void OnNotImplemented() override { answer_->kind = Answer::kNotImplemented; }

 private:
  Answer* answer_;
};

}  // namespace

TaskWindow::TaskWindow() {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = &TaskWindow::WindowProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = kWindowClass;
  (void)RegisterClassW(&window_class);  // a second window reuses the class
  hwnd_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                          nullptr, GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TaskWindow::~TaskWindow() {
  // As the main window does: what is still queued is freed, not run.
  MSG message;
  while (PeekMessageW(&message, hwnd_, velk::kRunTaskMessage,
                      velk::kRunTaskMessage, PM_REMOVE)) {
    delete reinterpret_cast<velk::PlatformTask*>(message.lParam);
  }
  DestroyWindow(hwnd_);
}

LRESULT CALLBACK TaskWindow::WindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                        LPARAM lparam) {
  if (message == velk::kRunTaskMessage) {
    std::unique_ptr<velk::PlatformTask> task(
        reinterpret_cast<velk::PlatformTask*>(lparam));
    auto* window =
        reinterpret_cast<TaskWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (window != nullptr) ++window->tasks_run_;
    (*task)();
    return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

void TaskWindow::PumpPending() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    DispatchMessageW(&message);
  }
}

bool TaskWindow::PumpUntil(const std::function<bool()>& done, int timeout_ms) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (true) {
    PumpPending();
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    (void)MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

Answer DecodeAnswer(const Bytes& bytes) {
  Answer answer;
  if (bytes.empty()) {
    answer.kind = Answer::kNotImplemented;
    return answer;
  }
  CapturingResult result(&answer);
  (void)Codec().DecodeReplyInto(bytes.data(), bytes.size(), &result);
  return answer;
}

FakeMessenger::FakeMessenger() = default;
FakeMessenger::~FakeMessenger() = default;

void FakeMessenger::SendMessage(const std::string& channel,
                                const uint8_t* message, size_t size,
                                flutter::ChannelReply reply) {
  (void)reply;  // statuses expect no answer
  const Answer event = DecodeAnswer(Bytes(message, message + size));
  std::lock_guard<std::mutex> lock(mutex_);
  event_threads_.push_back(GetCurrentThreadId());
  const auto* status =
      event.value ? std::get_if<std::string>(&*event.value) : nullptr;
  if (channel != velk::kStatusChannelName || event.kind != Answer::kSuccess ||
      status == nullptr) {
    ++non_string_events_;
    return;
  }
  timeline_.push_back(*status);
}

void FakeMessenger::SetChannelHandler(const std::string& channel,
                                      flutter::ChannelMessageHandler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (handler) {
    handlers_[channel] = std::move(handler);
  } else {
    handlers_.erase(channel);
  }
}

size_t FakeMessenger::Call(const std::string& channel,
                           const std::string& method,
                           std::optional<flutter::EncodableValue> arguments) {
  const flutter::MethodCall call(
      method, arguments ? std::make_unique<flutter::EncodableValue>(*arguments)
                        : nullptr);
  const std::unique_ptr<std::vector<uint8_t>> message =
      Codec().EncodeCall(call);
  flutter::ChannelMessageHandler handler;
  size_t slot = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    handler = handlers_[channel];
    slot = replies_.size();
    replies_.emplace_back();
  }
  flutter::ChannelReply reply = [this, slot, token = reply_token_](
                                    const uint8_t* data, size_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_[slot].replied = true;
    replies_[slot].bytes.assign(data, data + size);
    replies_[slot].thread = GetCurrentThreadId();
  };
  if (handler) handler(message->data(), message->size(), std::move(reply));
  return slot;
}

size_t FakeMessenger::CallControl(
    const std::string& method,
    std::optional<flutter::EncodableValue> arguments) {
  return Call(velk::kControlChannelName, method, std::move(arguments));
}

bool FakeMessenger::Listen() {
  const size_t call = Call(velk::kStatusChannelName, "listen", std::nullopt);
  return Reply(call).kind == Answer::kSuccess;
}

void FakeMessenger::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_.clear();
  timeline_.clear();
  event_threads_.clear();
  non_string_events_ = 0;
}

bool FakeMessenger::Cancel() {
  const size_t call = Call(velk::kStatusChannelName, "cancel", std::nullopt);
  return Reply(call).kind == Answer::kSuccess;
}

bool FakeMessenger::Replied(size_t call) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return replies_.at(call).replied;
}

Answer FakeMessenger::Reply(size_t call) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!replies_.at(call).replied) return Answer();
  return DecodeAnswer(replies_.at(call).bytes);
}

DWORD FakeMessenger::ReplyThread(size_t call) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return replies_.at(call).thread;
}

std::vector<std::string> FakeMessenger::Timeline() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return timeline_;
}

void FakeMessenger::Note(const std::string& note) {
  std::lock_guard<std::mutex> lock(mutex_);
  timeline_.push_back(note);
}

int FakeMessenger::MalformedEvents(DWORD platform_thread) const {
  std::lock_guard<std::mutex> lock(mutex_);
  int off_thread = 0;
  for (DWORD thread : event_threads_) {
    if (thread != platform_thread) ++off_thread;
  }
  return non_string_events_ + off_thread;
}

}  // namespace velk::test
