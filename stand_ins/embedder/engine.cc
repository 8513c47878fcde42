// The stand-in's engine, plug-in registrars, frames and view controller.
// In the Windows build the view has a window (view.cc) that shows the
// demonstration interface; the portable build's view has none.

#include <atomic>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "common/thread_annotations.h"
#include "stand_ins/embedder/embedder_state.h"

#if defined(_WIN32)
#include <windows.h>

#include "stand_ins/embedder/view.h"
#endif

namespace {

std::atomic<int> live_engines{0};
std::atomic<bool> fail_next_view_controller{false};
std::atomic<int> null_engine_calls{0};
std::atomic<unsigned int> monitor_dpi_override{0};
std::atomic<FlutterDesktopEngine*> newest_engine{nullptr};

// A real embedder dereferences the engine handle it is given; the stand-in
// refuses a null one and counts it, so tests can see that none was passed.
bool IsNullEngine(FlutterDesktopEngineRef engine) {
  if (engine != nullptr) return false;
  null_engine_calls.fetch_add(1);
  return true;
}

std::wstring CopyOrEmpty(const wchar_t* text) {
  return text == nullptr ? std::wstring() : std::wstring(text);
}

void DestroyEngine(FlutterDesktopEngine* engine) {
  velk::embedder::ShutDownMessenger(engine->messenger);
  engine->messenger = nullptr;
  // Left alone when a newer engine has been created since.
  FlutterDesktopEngine* newest = engine;
  (void)newest_engine.compare_exchange_strong(newest, nullptr);
  // Every sent message gets its reply, or its caller's context leaks. The
  // messenger is shut first, so a reply cannot send again.
  for (const auto& pending : engine->open_replies) pending->AnswerEmpty();
  delete engine;
  live_engines.fetch_sub(1);
}

void DrawFrame(FlutterDesktopEngine* engine) {
  ++engine->frames_drawn;
  if (engine->view != nullptr) engine->view->Redraw();
  FlutterDesktopOnNextFrameCallback callback = engine->next_frame_callback;
  void* user_data = engine->next_frame_user_data;
  // Cleared before the call: a callback runs once, and may register the next.
  engine->next_frame_callback = nullptr;
  engine->next_frame_user_data = nullptr;
  if (callback != nullptr) callback(user_data);
}

// A frame asked for while one is queued is the same frame: one redraw, one
// next-frame callback.
void QueueFrame(FlutterDesktopEngine* engine) {
  if (engine->frame_queued) return;
  engine->frame_queued = true;
  velk::embedder::QueuePlatformTask(engine, [engine] {
    engine->frame_queued = false;
    DrawFrame(engine);
  });
}

}  // namespace

namespace velk::embedder {

void QueuePlatformTask(FlutterDesktopEngine* engine,
                       std::function<void()> task) {
  engine->pending_tasks.push_back(std::move(task));
  if (engine->view != nullptr) engine->view->WakePlatformThread();
}

}  // namespace velk::embedder

extern "C" {

FlutterDesktopEngineRef FlutterDesktopEngineCreate(
    const FlutterDesktopEngineProperties* properties) {
  // An engine without its assets or ICU data cannot start.
  if (properties == nullptr || properties->assets_path == nullptr ||
      properties->assets_path[0] == L'\0' ||
      properties->icu_data_path == nullptr ||
      properties->dart_entrypoint_argc < 0 ||
      (properties->dart_entrypoint_argc > 0 &&
       properties->dart_entrypoint_argv == nullptr)) {
    return nullptr;
  }
  auto* engine = new FlutterDesktopEngine();
  engine->assets_path = CopyOrEmpty(properties->assets_path);
  engine->icu_data_path = CopyOrEmpty(properties->icu_data_path);
  engine->aot_library_path = CopyOrEmpty(properties->aot_library_path);
  if (properties->dart_entrypoint != nullptr) {
    engine->entrypoint = properties->dart_entrypoint;
  }
  for (int i = 0; i < properties->dart_entrypoint_argc; ++i) {
    const char* argument = properties->dart_entrypoint_argv[i];
    engine->entrypoint_arguments.emplace_back(argument == nullptr ? ""
                                                                  : argument);
  }
  engine->gpu_preference = properties->gpu_preference;
  engine->ui_thread_policy = properties->ui_thread_policy;
  engine->messenger = velk::embedder::CreateMessenger(engine);
  live_engines.fetch_add(1);
  newest_engine.store(engine);
  return engine;
}

bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine) {
  if (IsNullEngine(engine)) return false;
  DestroyEngine(engine);
  return true;
}

FlutterDesktopMessengerRef FlutterDesktopEngineGetMessenger(
    FlutterDesktopEngineRef engine) {
  return IsNullEngine(engine) ? nullptr : engine->messenger;
}

FlutterDesktopPluginRegistrarRef FlutterDesktopEngineGetPluginRegistrar(
    FlutterDesktopEngineRef engine, const char* plugin_name) {
  if (IsNullEngine(engine) || plugin_name == nullptr) return nullptr;
  std::unique_ptr<FlutterDesktopPluginRegistrar>& registrar =
      engine->registrars[plugin_name];
  if (!registrar) {
    registrar = std::make_unique<FlutterDesktopPluginRegistrar>();
    registrar->engine = engine;
    registrar->plugin_name = plugin_name;
  }
  return registrar.get();
}

void FlutterDesktopEngineSetNextFrameCallback(
    FlutterDesktopEngineRef engine, FlutterDesktopOnNextFrameCallback callback,
    void* user_data) {
  if (IsNullEngine(engine)) return;
  engine->next_frame_callback = callback;
  engine->next_frame_user_data = user_data;
}

void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine) {
  if (IsNullEngine(engine)) return;
  ++engine->fonts_reloaded;
  if (engine->view != nullptr) engine->view->ReloadFonts();
}

FlutterDesktopViewControllerRef FlutterDesktopViewControllerCreate(
    int width, int height, FlutterDesktopEngineRef engine) {
  if (IsNullEngine(engine)) return nullptr;
  // The engine was handed over, so a failed creation must not leak it.
  if (fail_next_view_controller.exchange(false) || width < 0 || height < 0) {
    DestroyEngine(engine);
    return nullptr;
  }
  auto view = std::make_unique<FlutterDesktopView>();
#if defined(_WIN32)
  FlutterDesktopWindowHandle window = nullptr;
  view->host = velk::embedder::CreateViewWindow(engine, width, height, &window);
  if (!view->host) {
    DestroyEngine(engine);
    return nullptr;
  }
  view->window = window;
  engine->view = view->host.get();
#endif
  auto* controller = new FlutterDesktopViewController();
  controller->engine = engine;
  controller->view = std::move(view);
  // The first frame of the new view comes from the platform thread's loop,
  // after the caller has had the chance to ask to hear of it.
  QueueFrame(engine);
  return controller;
}

void FlutterDesktopViewControllerDestroy(
    FlutterDesktopViewControllerRef controller) {
  if (controller == nullptr) return;
  // The engine ends first: once its messenger is shut no reply can reach the
  // view's interface, which may then go with its window.
  controller->engine->view = nullptr;
  DestroyEngine(controller->engine);
  controller->view.reset();
  delete controller;
}

FlutterDesktopViewRef FlutterDesktopViewControllerGetView(
    FlutterDesktopViewControllerRef controller) {
  return controller == nullptr ? nullptr : controller->view.get();
}

void FlutterDesktopViewControllerForceRedraw(
    FlutterDesktopViewControllerRef controller) {
  if (controller != nullptr) QueueFrame(controller->engine);
}

bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller,
    FlutterDesktopWindowHandle window, unsigned int message,
    FlutterDesktopWParam wparam, FlutterDesktopLParam lparam,
    FlutterDesktopLResult* result) {
  // No top-level message needs the view's attention: the window's own
  // procedure handles them all.
  (void)controller;
  (void)window;
  (void)message;
  (void)wparam;
  (void)lparam;
  (void)result;
  return false;
}

FlutterDesktopWindowHandle FlutterDesktopViewGetHWND(
    FlutterDesktopViewRef view) {
  return view == nullptr ? nullptr : view->window;
}

unsigned int FlutterDesktopGetDpiForMonitor(
    FlutterDesktopMonitorHandle monitor) {
  const unsigned int override_dpi = monitor_dpi_override.load();
  if (override_dpi != 0) return override_dpi;
#if defined(_WIN32)
  // The monitor's DPI as the system gives it to a DPI-aware process: the
  // device's logical pixels per inch (96 at scale 1.0).
  MONITORINFOEXW info = {};
  info.cbSize = sizeof(info);
  if (monitor != nullptr && GetMonitorInfoW(monitor, &info)) {
    HDC dc = CreateDCW(L"DISPLAY", info.szDevice, nullptr, nullptr);
    if (dc != nullptr) {
      int dpi = GetDeviceCaps(dc, LOGPIXELSX);
      DeleteDC(dc);
      if (dpi > 0) return static_cast<unsigned int>(dpi);
    }
  }
#else
  (void)monitor;
#endif
  return 96;
}

void FlutterDesktopResyncOutputStreams(void) {
#if defined(_WIN32)
  // The stand-in carries its own C runtime: point its streams at a console
  // that the process attached after the library was loaded.
  if (GetConsoleWindow() != nullptr) {
    FILE* ignored = nullptr;
    (void)freopen_s(&ignored, "CONOUT$", "w", stdout);
    (void)freopen_s(&ignored, "CONOUT$", "w", stderr);
  }
#endif
}

size_t VelkEmbedderRunPendingTasks(FlutterDesktopEngineRef engine) {
  if (engine == nullptr) return 0;
  // Tasks may queue more work (a reply that sends); that runs next time.
  std::vector<std::function<void()>> tasks;
  tasks.swap(engine->pending_tasks);
  for (std::function<void()>& task : tasks) task();
  return tasks.size();
}

void VelkEmbedderDrawFrame(FlutterDesktopEngineRef engine) {
  if (engine != nullptr) DrawFrame(engine);
}

FlutterDesktopEngineRef VelkEmbedderGetControllerEngine(
    FlutterDesktopViewControllerRef controller) {
  return controller == nullptr ? nullptr : controller->engine;
}

VelkEmbedderCounters VelkEmbedderGetCounters(FlutterDesktopEngineRef engine) {
  VelkEmbedderCounters counters = {};
  if (engine == nullptr) return counters;
  counters.fonts_reloaded = engine->fonts_reloaded;
  counters.frames_drawn = engine->frames_drawn;
  FlutterDesktopMessenger* messenger = engine->messenger;
  counters.messenger_references =
      messenger->references.load(std::memory_order_relaxed);
  velk::MutexLock guard(messenger->state_mutex);
  counters.open_responses = messenger->open_responses.size();
  counters.rejected_responses = messenger->rejected_responses;
  return counters;
}

const char* VelkEmbedderGetEntrypointArgument(FlutterDesktopEngineRef engine,
                                              int index) {
  if (engine == nullptr || index < 0 ||
      static_cast<size_t>(index) >= engine->entrypoint_arguments.size()) {
    return nullptr;
  }
  return engine->entrypoint_arguments[static_cast<size_t>(index)].c_str();
}

FlutterDesktopEngineRef VelkEmbedderNewestEngine(void) {
  return newest_engine.load();
}

int VelkEmbedderLiveEngines(void) { return live_engines.load(); }

int VelkEmbedderNullEngineCalls(void) { return null_engine_calls.load(); }

void VelkEmbedderFailNextViewController(void) {
  fail_next_view_controller.store(true);
}

void VelkEmbedderSetMonitorDpi(unsigned int dpi) {
  monitor_dpi_override.store(dpi);
}

}  // extern "C"
