// The stand-in's view with its demonstration interface, run the way the
// client runs it: a top-level window adopts the view, the engine's messenger
// carries a fake plug-in on the two channels, and a script drives the
// interface from the message loop while the transcript records everything.

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "channels/encodable_value.h"
#include "channels/event_channel.h"
#include "channels/flutter_view_controller.h"
#include "channels/method_channel.h"
#include "channels/standard_method_codec.h"
#include "channels/stream_handler_functions.h"
#include "interfaces/vpn_channels.h"
#include "stand_ins/embedder/embedder_testing.h"
#include "tests/support/hex.h"
#include "tests/support/message_pump.h"
#include "tests/support/temporary_folder.h"
#include "tests/support/ui_transcript.h"

namespace velk::test {
namespace {

using flutter::EncodableValue;
namespace channels = velk::vpn_channels;

constexpr int64_t kConnectedSince = 1700000000000;

// A plug-in of our own on the engine's messenger: answers the interface as
// the real one would, with a "connect" answered later from another thread.
class FakePlugin {
 public:
  explicit FakePlugin(flutter::BinaryMessenger* messenger)
      : codec_(&flutter::StandardMethodCodec::ForSerializer(nullptr)),
        control_(messenger, channels::kControlChannel, codec_),
        status_(messenger, channels::kStatusChannel, codec_) {
    control_.SetCallHandler(
        [this](const flutter::MethodCall& call,
               std::unique_ptr<flutter::MethodResult> result) {
          Handle(call, std::move(result));
        });
    status_.AttachStreamHandler(
        std::make_unique<flutter::StreamHandlerFunctions>(
            [this](const EncodableValue*,
                   std::unique_ptr<flutter::EventSink>&& events)
                -> std::unique_ptr<flutter::StreamHandlerError> {
              sink_ = std::move(events);
              return nullptr;
            },
            [this](const EncodableValue*)
                -> std::unique_ptr<flutter::StreamHandlerError> {
              sink_.reset();
              return nullptr;
            }));
  }

  ~FakePlugin() {
    if (worker_.joinable()) worker_.join();
  }

  std::optional<EncodableValue> connect_argument;
  std::vector<std::string> methods;

 private:
  void Send(const std::string& status) {
    if (sink_) sink_->SendEvent(EncodableValue(status));
  }

  void Handle(const flutter::MethodCall& call,
              std::unique_ptr<flutter::MethodResult> result) {
    methods.push_back(call.method_name());
    if (call.method_name() == channels::kGetStatus) {
      result->Success(
          EncodableValue(std::string(channels::kStatusDisconnected)));
    } else if (call.method_name() == channels::kConnect) {
      connect_argument = *call.arguments();
      Send(channels::kStatusConnecting);
      // The client repeats "connected" at every poll.
      Send(channels::kStatusConnected);
      Send(channels::kStatusConnected);
      worker_ =
          std::thread([answer = std::move(result)] { answer->Success(); });
    } else if (call.method_name() == channels::kGetConnectedSince) {
      result->Success(EncodableValue(kConnectedSince));
    } else if (call.method_name() == channels::kDisconnect) {
      Send(channels::kStatusDisconnected);
      result->Success();
    } else {
      result->NotImplemented();
    }
  }

  const flutter::MethodCodec* codec_;
  flutter::MethodChannel control_;
  flutter::EventChannel status_;
  std::unique_ptr<flutter::EventSink> sink_;
  std::thread worker_;
};

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A path as the transcript quotes it: backslashes doubled.
std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

// The last run of the transcript at `path`.
UiTranscript ReadTranscript(const std::string& path) {
  UiTranscript transcript;
  EXPECT_TRUE(ReadUiTranscript(path, &transcript)) << path;
  EXPECT_TRUE(transcript.TimesInOrder());
  return transcript;
}

// Whether `expected` appear in `entries` in this order (others may lie
// between them).
testing::AssertionResult InOrder(const std::vector<std::string>& entries,
                                 const std::vector<std::string>& expected) {
  size_t next = 0;
  for (const std::string& entry : entries) {
    if (next < expected.size() && entry == expected[next]) ++next;
  }
  if (next == expected.size()) return testing::AssertionSuccess();
  std::string all;
  for (const std::string& entry : entries) all += "\n  " + entry;
  return testing::AssertionFailure()
         << "missing, in order: " << expected[next] << "\nentries:" << all;
}

class DemoViewTest : public testing::Test {
 protected:
  static constexpr wchar_t kHostClass[] = L"VelkDemoViewTestHost";

  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());

    WNDCLASSW host_class = {};
    host_class.lpfnWndProc = &DemoViewTest::HostProcedure;
    host_class.hInstance = GetModuleHandleW(nullptr);
    host_class.lpszClassName = kHostClass;
    RegisterClassW(&host_class);
  }

  void TearDown() override {
    controller_.reset();
    if (host_ != nullptr) DestroyWindow(host_);
    MSG message;  // the quit message of a window destroyed here
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    UnregisterClassW(kHostClass, GetModuleHandleW(nullptr));
  }

  // Starts the engine with the view and the fake plug-in, as the client
  // does, and gives the view to a host window.
  void Start(const std::string& script, bool destroy_view_with_host) {
    WriteFile(script_path_, script);
    destroy_view_with_host_ = destroy_view_with_host;
    flutter::EngineProject project = flutter::EngineProjectIn(L"data");
    project.entrypoint_arguments = {"--demo-settings=" + settings_path_,
                                    "--ui-script=" + script_path_,
                                    "--ui-transcript=" + transcript_path_};
    controller_ =
        std::make_unique<flutter::FlutterViewController>(320, 480, project);
    ASSERT_NE(controller_->GetView(), nullptr);
    plugin_ =
        std::make_unique<FakePlugin>(controller_->GetEngine()->GetMessenger());

    view_ = controller_->GetView()->GetHWND();
    RECT view_area = {};
    ASSERT_TRUE(GetClientRect(view_, &view_area));
    EXPECT_EQ(view_area.right, 320);
    EXPECT_EQ(view_area.bottom, 480);

    host_ = CreateWindowExW(0, kHostClass, L"host", WS_OVERLAPPEDWINDOW, 0, 0,
                            400, 600, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(host_, nullptr);
    SetWindowLongPtrW(host_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetParent(view_, host_);
    MoveWindow(view_, 0, 0, 400, 560, TRUE);
    controller_->GetEngine()->SetNextFrameCallback([this] {
      ++frames_;
      ShowWindow(host_, SW_SHOWNORMAL);
    });
    controller_->ForceRedraw();
  }

  // Runs the message loop until the host window is closed, or 20 s.
  void RunUntilClosed() {
    SetTimer(host_, kGuardTimer, 20000, nullptr);
    RunMessageLoop();
    EXPECT_FALSE(timed_out_) << "the script never closed the window";
  }

  static LRESULT CALLBACK HostProcedure(HWND window, UINT message,
                                        WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<DemoViewTest*>(
        GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr) {
      if (message == WM_TIMER && wparam == kGuardTimer) {
        self->timed_out_ = true;
        PostQuitMessage(1);
        return 0;
      }
      if (message == WM_SIZE && self->view_ != nullptr) {
        MoveWindow(self->view_, 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
      }
      if (message == WM_DESTROY) {
        self->host_ = nullptr;
        // The client ends the engine while its window goes; otherwise the
        // view is destroyed with the window and the engine ends afterwards.
        if (!self->destroy_view_with_host_) self->controller_.reset();
        PostQuitMessage(0);
      }
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }

  static constexpr UINT_PTR kGuardTimer = 7;

  TemporaryFolder folder_{L"velk demo view"};
  const std::string settings_path_ = folder_.Utf8File(L"demo settings.txt");
  const std::string script_path_ = folder_.Utf8File(L"script.txt");
  const std::string transcript_path_ = folder_.Utf8File(L"transcript.txt");
  std::unique_ptr<flutter::FlutterViewController> controller_;
  std::unique_ptr<FakePlugin> plugin_;
  HWND view_ = nullptr;
  HWND host_ = nullptr;
  bool destroy_view_with_host_ = false;
  bool timed_out_ = false;
  int frames_ = 0;
};

TEST_F(DemoViewTest, ScriptDrivesTheInterfaceAndTheTranscriptRecordsIt) {
  WriteFile(settings_path_,
            "# demonstration\nprivate_key=a2V5\naddress=10.77.0.2/32\n"
            "endpoint=10.77.0.1:51820\ndns=1.1.1.1\n");
  Start(
      "listen\n"
      "call getStatus\n"
      "wait replies 5000\n"
      "click connect\n"
      "wait status connected 5000\n"
      "wait replies 5000\n"
      "call unknownMethod [1, \"a\"]\n"
      "click disconnect\n"
      "wait status disconnected 5000\n"
      "cancel\n"
      "wait replies 5000\n"
      "close\n",
      /*destroy_view_with_host=*/false);
  RunUntilClosed();

  // The first frame came from the message loop, once.
  EXPECT_EQ(frames_, 1);

  // "connect" reached the plug-in with the demonstration settings.
  ASSERT_TRUE(plugin_->connect_argument.has_value());
  const auto& map = std::get<flutter::EncodableMap>(*plugin_->connect_argument);
  EXPECT_EQ(
      std::get<std::string>(map.at(EncodableValue(channels::kSettingsKey))),
      "private_key=a2V5\nendpoint=10.77.0.1:51820");
  EXPECT_EQ(
      std::get<std::string>(map.at(EncodableValue(channels::kAddressKey))),
      "10.77.0.2/32");
  EXPECT_EQ(std::get<std::string>(map.at(EncodableValue(channels::kDnsKey))),
            "1.1.1.1");
  EXPECT_EQ(std::get<int32_t>(map.at(EncodableValue(channels::kMtuKey))),
            channels::kDefaultMtu);
  // "connected" came twice; the time was asked for once.
  EXPECT_EQ(plugin_->methods, (std::vector<std::string>{
                                  "getStatus", "connect", "getConnectedSince",
                                  "unknownMethod", "disconnect"}));

  const UiTranscript transcript = ReadTranscript(transcript_path_);
  const std::vector<std::string> entries = transcript.Texts();
  const std::vector<std::string>& header = transcript.header();
  std::string settings_argument = "--demo-settings=" + settings_path_;
  ASSERT_EQ(header.size(), 5u);
  EXPECT_EQ(header[1], "args 3");
  EXPECT_EQ(header[2], "arg 0 " + ToHex(settings_argument) + " # " +
                           Quoted(settings_argument));
  EXPECT_TRUE(header[4].starts_with(
      "arg 2 " + ToHex("--ui-transcript=" + transcript_path_)));

  const std::string control = std::string(channels::kControlChannel) + " ";
  const std::string status = std::string(channels::kStatusChannel) + " ";
  EXPECT_TRUE(InOrder(
      entries,
      {"settings " + Quoted(settings_path_) + " ok", "script 1 listen",
       "to_client " + status + "07066c697374656e00 # call 1 listen null",
       "reply_from_client " + status + "0000 # reply 1 listen success null",
       "to_client " + control +
           "070967657453746174757300 # call 2 getStatus null",
       "reply_from_client " + control +
           "00070c646973636f6e6e6563746564 # reply 2 getStatus success "
           "\"disconnected\"",
       "script 4 click connect",
       "from_client " + status +
           "00070a636f6e6e656374696e67 # event \"connecting\"",
       "from_client " + status +
           "000709636f6e6e6563746564 # event \"connected\"",
       "from_client " + status +
           "000709636f6e6e6563746564 # event \"connected\"",
       "to_client " + control +
           "0711"
           "676574436f6e6e656374656453696e6365"
           "00"
           " # call 4 getConnectedSince null",
       "reply_from_client " + control +
           "0004"
           "0068e5cf8b010000"
           " # reply 4 getConnectedSince success 1700000000000L",
       "to_client " + control +
           "070d756e6b6e6f776e4d6574686f64"
           "0c02"
           "0301000000"
           "070161"
           " # call 5 unknownMethod [1, \"a\"]",
       "reply_from_client " + control +
           "- # reply 5 unknownMethod not-implemented",
       "from_client " + status +
           "00070c646973636f6e6e6563746564 # event \"disconnected\"",
       "script 10 cancel",
       "reply_from_client " + status + "0000 # reply 7 cancel success null",
       "script 12 close", "script done"}));
  // The reply to "connect" came from another thread, at its own time.
  EXPECT_TRUE(InOrder(entries, {"script 4 click connect",
                                "reply_from_client " + control +
                                    "0000 # reply 3 connect success null",
                                "script 7 call unknownMethod [1, \"a\"]"}));
  for (const std::string& entry : entries) {
    EXPECT_FALSE(entry.starts_with("FAIL")) << entry;
  }
}

TEST_F(DemoViewTest, WaitThatTimesOutFailsAndClosesTheWindow) {
  WriteFile(settings_path_, "endpoint=10.77.0.1:51820\n");
  Start("listen\nwait status connected 300\ncall getStatus\n",
        /*destroy_view_with_host=*/true);
  RunUntilClosed();

  const std::vector<std::string> entries =
      ReadTranscript(transcript_path_).Texts();
  EXPECT_TRUE(InOrder(
      entries,
      {"script 2 wait status connected 300",
       "FAIL line 2: wait status connected 300 timed out after 300 ms; status "
       "events since the previous status wait: none"}));
  // Nothing after the failure ran.
  EXPECT_EQ(plugin_->methods, std::vector<std::string>{});
  EXPECT_NE(entries.back().find("FAIL"), std::string::npos);
}

TEST_F(DemoViewTest, ScriptThatDoesNotParseSendsNothing) {
  WriteFile(settings_path_, "mtu=big\n");
  Start("listen\ncall connect demo\nwiat\n", /*destroy_view_with_host=*/false);
  RunUntilClosed();

  const std::vector<std::string> entries =
      ReadTranscript(transcript_path_).Texts();
  EXPECT_EQ(entries,
            (std::vector<std::string>{
                "settings " + Quoted(settings_path_) +
                    " unusable: mtu is not a 32-bit decimal integer: \"big\"",
                "FAIL script " + Quoted(script_path_) +
                    " line 3: unknown command \"wiat\""}));
}

TEST_F(DemoViewTest, EngineMayEndWhileTheScriptWaits) {
  Start("listen\nwait status connected 60000\n",
        /*destroy_view_with_host=*/false);
  // A few turns of the loop: the script starts and waits.
  PumpMessagesUntil([this] { return frames_ > 0; }, 500);
  EXPECT_EQ(frames_, 1);
  int live = VelkEmbedderLiveEngines();
  controller_.reset();  // the engine and the view go; the wait with them
  EXPECT_EQ(VelkEmbedderLiveEngines(), live - 1);
  EXPECT_FALSE(IsWindow(view_));
  PumpQueuedMessages();
  const std::vector<std::string> entries =
      ReadTranscript(transcript_path_).Texts();
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries.back(), "script 2 wait status connected 60000");
}

}  // namespace
}  // namespace velk::test
