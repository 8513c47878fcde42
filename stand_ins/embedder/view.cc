#include "stand_ins/embedder/view.h"

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "interfaces/vpn_channels.h"
#include "stand_ins/embedder/demo_panel.h"
#include "stand_ins/embedder/demo_script.h"
#include "stand_ins/embedder/demo_settings.h"
#include "stand_ins/embedder/embedder_testing.h"
#include "stand_ins/embedder/script_runner.h"
#include "stand_ins/embedder/transcript.h"
#include "stand_ins/embedder/ui_channels.h"
#include "win/scoped_handle.h"
#include "win/text.h"
#include "win/whole_file.h"

namespace velk::embedder {
namespace {

const wchar_t kViewClass[] = L"VELK_STAND_IN_FLUTTER_VIEW";

// Messages of the view's own window class.
constexpr UINT kRunPendingTasksMessage = WM_APP + 0x40;
constexpr UINT kArrivalMessage = WM_APP + 0x41;
constexpr UINT kStartMessage = WM_APP + 0x42;

struct WindowTraits {
  using Type = HWND;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type value) { return value != nullptr; }
  static void Close(Type value) { DestroyWindow(value); }
};
using ScopedWindow = velk::ScopedResource<WindowTraits>;

// The class is registered by the first view and unregistered with the last,
// so nothing of it outlives the library (platform thread only).
int live_views = 0;

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  (void)GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

// The demonstration interface's arguments among the engine's.
struct ViewArguments {
  std::optional<std::string> settings_path;
  std::optional<std::string> script_path;
  std::optional<std::string> transcript_path;
};

ViewArguments ReadArguments(const std::vector<std::string>& arguments) {
  ViewArguments read;
  for (const std::string& argument : arguments) {
    std::string_view text = argument;
    for (auto [prefix, target] :
         {std::pair{std::string_view("--demo-settings="), &read.settings_path},
          std::pair{std::string_view("--ui-script="), &read.script_path},
          std::pair{std::string_view("--ui-transcript="),
                    &read.transcript_path}}) {
      if (text.starts_with(prefix)) {
        *target = std::string(text.substr(prefix.size()));
      }
    }
  }
  return read;
}

bool ReadTextFile(const std::string& path, std::string* text) {
  std::wstring wide_path = velk::Utf8ToUtf16(path);
  return !wide_path.empty() && velk::ReadWholeFile(wide_path, text);
}

class ViewWindow : public EngineView, private UiChannels::Listener {
 public:
  explicit ViewWindow(FlutterDesktopEngine* engine)
      : engine_(engine), transcript_(engine->created) {}

  ~ViewWindow() override {
    if (window_) {
      // Nothing of this object is used while the window goes.
      SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
      window_.reset();
    }
    // The controls are gone; the panel's fonts and the rest may follow.
    runner_.reset();
    panel_.reset();
    channels_.reset();
    parking_.reset();
    if (registered_ && --live_views == 0) {
      (void)UnregisterClassW(kViewClass, ThisModule());  // none left to use it
    }
  }

  bool Create(int width, int height) {
    if (live_views == 0) {
      WNDCLASSW window_class = {};
      window_class.lpfnWndProc = &ViewWindow::WindowProcedure;
      window_class.hInstance = ThisModule();
      window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
      window_class.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
      window_class.lpszClassName = kViewClass;
      if (RegisterClassW(&window_class) == 0) return false;
    }
    ++live_views;
    registered_ = true;

    // A child needs a parent from its first moment; until the host adopts
    // the view with SetParent it waits under a message-only window, which
    // needs no display.
    parking_.reset(CreateWindowExW(0, kViewClass, L"", 0, 0, 0, 0, 0,
                                   HWND_MESSAGE, nullptr, ThisModule(),
                                   nullptr));
    if (!parking_) return false;
    window_.reset(CreateWindowExW(0, kViewClass, L"stand-in view",
                                  WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                  width, height, parking_.get(), nullptr,
                                  ThisModule(), this));
    if (!window_) return false;

    StartInterface(width, height);
    return true;
  }

  HWND window() const { return window_.get(); }

  void WakePlatformThread() override {
    if (wake_posted_ || !window_) return;  // no window: no loop to wake
    wake_posted_ =
        PostMessageW(window_.get(), kRunPendingTasksMessage, 0, 0) != FALSE;
  }

  void OnMessageToInterface(const char* channel, const uint8_t* data,
                            size_t size, bool expects_reply) override {
    if (channels_) {
      channels_->OnMessageFromClient(channel, data, size, expects_reply);
    }
  }

  void Redraw() override {
    if (window_) InvalidateRect(window_.get(), nullptr, TRUE);
  }

  void ReloadFonts() override {
    if (!panel_ || !window_) return;
    panel_->ReloadFonts();
    RECT client = {};
    GetClientRect(window_.get(), &client);
    panel_->Layout(client.right, client.bottom);
  }

 private:
  void StartInterface(int width, int height) {
    ViewArguments arguments = ReadArguments(engine_->entrypoint_arguments);
    if (arguments.transcript_path) {
      (void)transcript_.Open(*arguments.transcript_path);  // else no record
    }
    transcript_.WriteHeader(engine_->entrypoint_arguments);

    channels_ = std::make_unique<UiChannels>(engine_, &transcript_,
                                             window_.get(), kArrivalMessage);
    channels_->SetListener(this);
    panel_ = std::make_unique<DemoPanel>(window_.get(), channels_.get());
    panel_->Layout(width, height);

    if (arguments.settings_path) LoadSettings(*arguments.settings_path);
    if (arguments.script_path) LoadScript(*arguments.script_path);
    // Start from the message loop: the host registers its channels after
    // the view exists and before its loop runs.
    PostMessageW(window_.get(), kStartMessage, 0, 0);
  }

  void LoadSettings(const std::string& path) {
    std::string text;
    std::string problem;
    DemoSettings settings;
    if (!ReadTextFile(path, &text)) {
      problem = "cannot be read, or is empty";
    } else if (ParseDemoSettings(text, &settings, &problem)) {
      settings_ = std::move(settings);
    }
    panel_->ShowSettings(path, settings_ ? &*settings_ : nullptr, problem);
    transcript_.Write("settings " + QuoteString(path) +
                      (settings_ ? " ok" : " unusable: " + problem));
  }

  void LoadScript(const std::string& path) {
    std::string text;
    std::vector<ScriptCommand> commands;
    script_mode_ = true;
    if (!ReadTextFile(path, &text)) {
      script_problem_ = "script " + QuoteString(path) + " cannot be read";
    } else if (!ParseScript(text, &commands, &script_problem_)) {
      script_problem_ = "script " + QuoteString(path) + " " + script_problem_;
    } else {
      runner_ = std::make_unique<ScriptRunner>(
          std::move(commands), window_.get(), channels_.get(), panel_.get(),
          &transcript_, settings_ ? &*settings_ : nullptr,
          [this] { CloseTopLevelWindow(); });
    }
  }

  void Start() {
    if (runner_) {
      runner_->Start();
    } else if (script_mode_) {
      transcript_.Write("FAIL " + script_problem_);
      panel_->ShowNote("FAIL " + script_problem_);
      CloseTopLevelWindow();
    } else {
      // What a person's interface does when it opens.
      channels_->Send(vpn_channels::kStatusChannel, "listen", UiValue());
      channels_->Send(vpn_channels::kControlChannel, vpn_channels::kGetStatus,
                      UiValue());
    }
  }

  void CloseTopLevelWindow() {
    HWND root = GetAncestor(window_.get(), GA_ROOT);
    // Still parked under the message-only window: there is no top level.
    if (root == nullptr || root == window_.get() ||
        GetAncestor(root, GA_PARENT) != GetDesktopWindow()) {
      panel_->ShowNote("close: the view has no top-level window");
      return;
    }
    PostMessageW(root, WM_CLOSE, 0, 0);
  }

  void OnStatusEvent(const std::string& status) override { ShowStatus(status); }

  void OnReply(const UiChannels::Call& call, const UiEnvelope& reply) override {
    if (reply.kind == UiEnvelope::Kind::kError) {
      panel_->ShowNote(call.method + ": error " + FormatValue(reply.code) +
                       " " + FormatValue(reply.message));
      return;
    }
    if (reply.kind != UiEnvelope::Kind::kSuccess) return;
    if (call.method == vpn_channels::kGetStatus &&
        reply.value.AsString() != nullptr) {
      ShowStatus(*reply.value.AsString());
    } else if (call.method == vpn_channels::kGetConnectedSince) {
      panel_->ShowConnectedSince(reply.value);
    }
  }

  // The client repeats "connected" at every poll; the time it connected is
  // asked for once, when the status becomes "connected".
  void ShowStatus(const std::string& status) {
    panel_->ShowStatus(status);
    bool became_connected =
        status == vpn_channels::kStatusConnected && shown_status_ != status;
    shown_status_ = status;
    if (became_connected) {
      channels_->Send(vpn_channels::kControlChannel,
                      vpn_channels::kGetConnectedSince, UiValue());
    }
  }

  // Creation sends messages before the panel exists: each use checks.
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam,
                        LPARAM lparam) {
    switch (message) {
      case kRunPendingTasksMessage:
        wake_posted_ = false;
        VelkEmbedderRunPendingTasks(engine_);
        return 0;
      case kArrivalMessage:
        if (channels_) channels_->DeliverArrivals();
        if (runner_) runner_->OnArrivals();
        return 0;
      case kStartMessage:
        Start();
        return 0;
      case WM_TIMER:
        if (runner_) runner_->OnTimer(wparam);
        return 0;
      case WM_COMMAND:
        if (panel_ && HIWORD(wparam) == BN_CLICKED &&
            panel_->OnCommand(LOWORD(wparam))) {
          return 0;
        }
        break;
      case WM_SIZE:
        if (panel_) panel_->Layout(LOWORD(lparam), HIWORD(lparam));
        return 0;
      case WM_CTLCOLORSTATIC:
        if (panel_) {
          LRESULT brush = panel_->StaticColours(reinterpret_cast<HDC>(wparam),
                                                reinterpret_cast<HWND>(lparam));
          if (brush != 0) return brush;
        }
        break;
      case WM_NCDESTROY:
        // Destroyed with a parent that went first: the handle is no longer
        // ours to destroy.
        (void)window_.release();
        if (channels_) channels_->StopPosting();
        break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }

  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message,
                                          WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      auto* self = static_cast<ViewWindow*>(
          reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
      // The parking window has no object.
      if (self != nullptr) {
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(self));
      }
    }
    auto* self =
        reinterpret_cast<ViewWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
    return self->HandleMessage(window, message, wparam, lparam);
  }

  FlutterDesktopEngine* const engine_;
  Transcript transcript_;
  bool registered_ = false;
  bool wake_posted_ = false;
  ScopedWindow parking_;
  ScopedWindow window_;
  std::optional<DemoSettings> settings_;
  std::unique_ptr<UiChannels> channels_;
  std::unique_ptr<DemoPanel> panel_;
  std::unique_ptr<ScriptRunner> runner_;
  std::string shown_status_;
  bool script_mode_ = false;
  std::string script_problem_;
};

}  // namespace

std::unique_ptr<EngineView> CreateViewWindow(
    FlutterDesktopEngine* engine, int width, int height,
    FlutterDesktopWindowHandle* window) {
  auto view = std::make_unique<ViewWindow>(engine);
  if (!view->Create(width, height)) return nullptr;
  *window = view->window();
  return view;
}

}  // namespace velk::embedder
