#include "tests/vpn_plugin/plugin_test_fixture.h"

#include <utility>

#include "client/platform_task.h"

namespace velk::test {

const char kValidSettings[] =
    "private_key=AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=\n"
    "public_key=4OHi4+Tl5ufo6err7O3u7/Dx8vP09fb3+Pn6+/z9/v8=\n"
    "endpoint=e:1\n";

PluginTest::~PluginTest() {
  EXPECT_TRUE(DestroyPluginAndWaitForWorkers());
  if (world_) world_->SetNoteReceiver(nullptr);
  if (!config_path_.empty()) (void)DeleteFileW(config_path_.c_str());
}

void PluginTest::Start(FakeTunnelWorld::Setup setup) {
  wchar_t folder[MAX_PATH];
  wchar_t path[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"vpt", 0, path);
  config_path_ = path;

  world_ = std::make_shared<FakeTunnelWorld>(setup);
  world_->config_path = config_path_;
  const DWORD platform_thread = GetCurrentThreadId();
  const HWND hwnd = window_.hwnd();
  FakeMessenger* messenger = &messenger_;
  world_->SetNoteReceiver([=](const std::string& note) {
    if (GetCurrentThreadId() == platform_thread) {
      messenger->Note(note);
      return;
    }
    auto task = std::make_unique<velk::PlatformTask>(
        [messenger, note] { messenger->Note(note); });
    if (PostMessageW(hwnd, velk::kRunTaskMessage, 0,
                     reinterpret_cast<LPARAM>(task.get()))) {
      (void)task.release();
    }
  });
  plugin_ = std::make_unique<velk::VpnPlugin>(&messenger_, window_.hwnd(),
                                              world_->Operations());
}

size_t PluginTest::Connect(const std::string& settings) {
  return messenger_.CallControl(
      "connect",
      flutter::EncodableValue(flutter::EncodableValueMap{
          {flutter::EncodableValue("settings"),
           flutter::EncodableValue(settings)},
          {flutter::EncodableValue("address"),
           flutter::EncodableValue("10.8.0.2/32")},
          {flutter::EncodableValue("dns"), flutter::EncodableValue("1.1.1.1")},
          {flutter::EncodableValue("mtu"), flutter::EncodableValue(1420)}}));
}

bool PluginTest::DestroyPluginAndWaitForWorkers() {
  plugin_.reset();
  if (!world_) return true;
  world_->Release();  // a worker held by a failed test must still end
  return window_.PumpUntil([this] { return world_.use_count() == 1; });
}

bool PluginTest::WaitForTimeline(size_t entries) {
  return window_.PumpUntil(
      [this, entries] { return messenger_.Timeline().size() >= entries; });
}

}  // namespace velk::test
