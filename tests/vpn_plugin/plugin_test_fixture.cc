#include "tests/vpn_plugin/plugin_test_fixture.h"

#include <utility>

#include "channels/engine_project.h"
#include "channels/method_call.h"
#include "channels/method_result.h"
#include "channels/standard_method_codec.h"
#include "client/platform_task.h"
#include "client/vpn_plugin/vpn_plugin.h"
#include "interfaces/vpn_channels.h"
#include "stand_ins/embedder/embedder_testing.h"
#include "tests/support/temporary_folder.h"
#include "win/whole_file.h"

namespace velk::test {

const char kValidSettings[] =
    "private_key=AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=\n"
    "public_key=4OHi4+Tl5ufo6err7O3u7/Dx8vP09fb3+Pn6+/z9/v8=\n"
    "endpoint=e:1\n";

namespace {

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

// Replies and events share the envelope; an empty one is not implemented.
Answer Decode(const uint8_t* data, size_t size) {
  Answer answer;
  if (size == 0) {
    answer.kind = Answer::kNotImplemented;
    return answer;
  }
  CapturingResult result(&answer);
  (void)Codec().DecodeReplyInto(data, size, &result);
  return answer;
}

}  // namespace

WindowedPlugin::WindowedPlugin(OutsideWorld world)
    : platform_thread_(GetCurrentThreadId()) {
  // Without a script the stand-in's panel acts as a person's interface and
  // calls "listen" and "getStatus" by itself. An empty script keeps it quiet
  // but for a "getConnectedSince" whenever it sees "connected", which
  // changes nothing. The view has read the script once the window is open.
  const TemporaryFolder folder;
  const std::wstring script = folder.File(L"script.txt");
  if (!WriteWholeFile(script, "# the test plays the interface\n")) return;
  flutter::EngineProject project = flutter::EngineProjectIn(L"data");
  project.entrypoint_arguments = {"--ui-script=" +
                                  folder.Utf8File(L"script.txt")};
  window_ = std::make_unique<FlutterWindow>(
      project, [world = std::move(world)](flutter::BinaryMessenger* messenger,
                                          HWND window) {
        return std::make_unique<VpnPlugin>(messenger, window, world);
      });
  if (!window_->Open(L"VPN plug-in test", {10, 10}, {400, 740})) return;
  hwnd_ = window_->NativeHandle();
  engine_ = VelkEmbedderNewestEngine();
  VelkEmbedderSetOutgoingObserver(engine_, &OnOutgoing, this);
}

void WindowedPlugin::OnOutgoing(const char* channel, const uint8_t* data,
                                size_t size, bool expects_reply,
                                void* user_data) {
  auto* self = static_cast<WindowedPlugin*>(user_data);
  const Answer event = Decode(data, size);
  const auto* status =
      event.value ? std::get_if<std::string>(&*event.value) : nullptr;
  MutexLock lock(self->mutex_);
  if (std::string(channel) != vpn_channels::kStatusChannel || expects_reply ||
      event.kind != Answer::kSuccess || status == nullptr ||
      GetCurrentThreadId() != self->platform_thread_) {
    ++self->misdelivered_;
    return;
  }
  self->timeline_.push_back(*status);
}

void WindowedPlugin::OnResponse(const uint8_t* data, size_t size,
                                void* user_data) {
  auto* slot = static_cast<ReplySlot*>(user_data);
  WindowedPlugin* self = slot->owner;
  MutexLock lock(self->mutex_);
  slot->replied = true;
  slot->bytes.assign(data, data + size);
  slot->position = self->timeline_.size();
  if (GetCurrentThreadId() != self->platform_thread_) ++self->misdelivered_;
}

size_t WindowedPlugin::Call(const char* channel, const std::string& method,
                            std::optional<flutter::EncodableValue> arguments) {
  const flutter::MethodCall call(
      method, arguments ? std::make_unique<flutter::EncodableValue>(
                              std::move(*arguments))
                        : nullptr);
  const std::unique_ptr<std::vector<uint8_t>> message =
      Codec().EncodeCall(call);
  ReplySlot* slot = nullptr;
  size_t index = 0;
  {
    MutexLock lock(mutex_);
    index = replies_.size();
    slot = &replies_.emplace_back();
    slot->owner = this;
  }
  if (engine_ == nullptr ||
      !VelkEmbedderDeliverMessage(engine_, channel, message->data(),
                                  message->size(), &OnResponse, slot)) {
    ADD_FAILURE() << method << ": nobody handles " << channel;
  }
  return index;
}

size_t WindowedPlugin::CallControl(
    const std::string& method,
    std::optional<flutter::EncodableValue> arguments) {
  return Call(vpn_channels::kControlChannel, method, std::move(arguments));
}

bool WindowedPlugin::Listen() {
  return Reply(Call(vpn_channels::kStatusChannel, "listen", std::nullopt))
             .kind == Answer::kSuccess;
}

bool WindowedPlugin::Cancel() {
  return Reply(Call(vpn_channels::kStatusChannel, "cancel", std::nullopt))
             .kind == Answer::kSuccess;
}

bool WindowedPlugin::Replied(size_t call) const {
  MutexLock lock(mutex_);
  return replies_.at(call).replied;
}

Answer WindowedPlugin::Reply(size_t call) const {
  MutexLock lock(mutex_);
  const ReplySlot& slot = replies_.at(call);
  return slot.replied ? Decode(slot.bytes.data(), slot.bytes.size()) : Answer();
}

size_t WindowedPlugin::ReplyPosition(size_t call) const {
  MutexLock lock(mutex_);
  return replies_.at(call).position;
}

std::vector<std::string> WindowedPlugin::Timeline() const {
  MutexLock lock(mutex_);
  return timeline_;
}

void WindowedPlugin::Note(const std::string& note) {
  if (GetCurrentThreadId() == platform_thread_) {
    MutexLock lock(mutex_);
    timeline_.push_back(note);
    return;
  }
  auto task = std::make_unique<PlatformTask>([this, note] { Note(note); });
  if (PostMessageW(hwnd_.load(), kRunTaskMessage, 0,
                   reinterpret_cast<LPARAM>(task.get()))) {
    (void)task.release();  // the window's now
  }
}

int WindowedPlugin::Misdelivered() const {
  MutexLock lock(mutex_);
  return misdelivered_;
}

void WindowedPlugin::Forget() {
  MutexLock lock(mutex_);
  replies_ = {};
  timeline_ = {};
}

void WindowedPlugin::DestroyWindowObject() {
  engine_ = nullptr;
  hwnd_ = nullptr;
  window_.reset();
}

PluginTest::~PluginTest() {
  if (window_) {
    EXPECT_EQ(window_->Misdelivered(), 0);
  }
  EXPECT_TRUE(DestroyPluginAndWaitForWorkers());
  if (world_) world_->SetNoteReceiver(nullptr);
}

void PluginTest::Start(FakeTunnelWorld::Setup setup) {
  world_ = std::make_shared<FakeTunnelWorld>(setup);
  OpenWindow();
}

void PluginTest::OpenWindow() {
  if (window_) {
    EXPECT_EQ(window_->Misdelivered(), 0) << "in the window before";
  }
  window_ = std::make_unique<WindowedPlugin>(world_->Outside());
  ASSERT_TRUE(window_->opened());
  world_->SetNoteReceiver([window = window_.get()](const std::string& note) {
    window->Note(note);
  });
}

Answer PluginTest::CallAndReply(
    const std::string& method,
    std::optional<flutter::EncodableValue> arguments) {
  const size_t call = window_->CallControl(method, std::move(arguments));
  EXPECT_TRUE(window_->Replied(call)) << method << " answers at once";
  return window_->Reply(call);
}

size_t PluginTest::Connect(const std::string& settings) {
  return window_->CallControl(
      vpn_channels::kConnect,
      flutter::EncodableValue(flutter::EncodableValueMap{
          {flutter::EncodableValue(vpn_channels::kSettingsKey),
           flutter::EncodableValue(settings)},
          {flutter::EncodableValue(vpn_channels::kAddressKey),
           flutter::EncodableValue("10.8.0.2/32")},
          {flutter::EncodableValue(vpn_channels::kDnsKey),
           flutter::EncodableValue("1.1.1.1")},
          {flutter::EncodableValue(vpn_channels::kMtuKey),
           flutter::EncodableValue(1420)}}));
}

bool PluginTest::DestroyPluginAndWaitForWorkers() {
  if (window_) window_->DestroyWindowObject();
  if (!world_) return true;
  world_->Release();  // a worker held by a failed test must still end
  // Tasks queued for the window were freed with it; later posts fail and
  // are freed by their posters.
  return PumpMessagesUntil([this] { return world_.use_count() == 1; });
}

bool PluginTest::WaitForTimeline(size_t entries) {
  return PumpMessagesUntil(
      [this, entries] { return window_->Timeline().size() >= entries; });
}

}  // namespace velk::test
