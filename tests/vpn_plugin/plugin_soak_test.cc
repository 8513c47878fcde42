// The plug-in on the real channel layer and the stand-in embedder, with its
// tasks posted to a window: every status and reply reaches the interface on
// the platform thread in the order its thread posted it, and 200 rounds of
// connect and disconnect leave no handle, thread or memory behind.

#include <windows.h>
// clang-format off
#include <psapi.h>
#include <tlhelp32.h>
// clang-format on

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "channels/flutter_engine.h"
#include "channels/method_call.h"
#include "channels/standard_method_codec.h"
#include "client/vpn_plugin/status_strings.h"
#include "client/vpn_plugin/vpn_plugin.h"
#include "stand_ins/embedder/embedder_testing.h"
#include "tests/vpn_plugin/fake_tunnel_world.h"
#include "tests/vpn_plugin/plugin_harness.h"

namespace velk::test {
namespace {

// What the interface side saw, in arrival order: events and answers alike.
struct Arrival {
  bool is_reply = false;
  std::string text;  // the status, or the reply's method
  DWORD thread = 0;
};

struct InterfaceSide {
  std::vector<Arrival> arrivals;
  std::string pending_method;  // for the answer of the call being made

  static void OnOutgoing(const char* channel, const uint8_t* data, size_t size,
                         bool, void* user_data) {
    auto* self = static_cast<InterfaceSide*>(user_data);
    const Answer event = DecodeAnswer(Bytes(data, data + size));
    const auto* status =
        event.value ? std::get_if<std::string>(&*event.value) : nullptr;
    self->arrivals.push_back(
        {false,
         std::string(channel) + ":" + (status != nullptr ? *status : "?"),
         GetCurrentThreadId()});
  }
};

struct ReplyRecord {
  InterfaceSide* side;
  std::string method;
};

void OnResponse(const uint8_t*, size_t, void* user_data) {
  auto* record = static_cast<ReplyRecord*>(user_data);
  record->side->arrivals.push_back(
      {true, record->method, GetCurrentThreadId()});
}

struct ProcessFigures {
  DWORD handles = 0;
  int threads = 0;
  SIZE_T private_bytes = 0;
};

// Wine 8 answers GetProcessHandleCount with 0 and leaves PrivateUsage at 0.
// There the handles are counted by asking each possible value (handles are
// multiples of 4 from a small table), and the private bytes are read from
// PagefileUsage, which Windows defines as the same commit charge.
DWORD CountHandles() {
  DWORD handles = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &handles) && handles != 0) {
    return handles;
  }
  for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
      ++handles;
    }
  }
  return handles;
}

ProcessFigures Measure() {
  ProcessFigures figures;
  figures.handles = CountHandles();
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot, &entry); more;
       more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++figures.threads;
  }
  CloseHandle(snapshot);
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof(memory);
  GetProcessMemoryInfo(GetCurrentProcess(),
                       reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                       sizeof(memory));
  figures.private_bytes =
      memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage;
  return figures;
}

class PluginSoakTest : public testing::Test {
 protected:
  PluginSoakTest() : engine_(Project()) {
    VelkEmbedderSetOutgoingObserver(engine_.engine(),
                                    &InterfaceSide::OnOutgoing, &side_);
  }
  ~PluginSoakTest() override {
    plugin_.reset();
    if (world_) world_->Release();
    // The last monitor ends at its next check.
    window_.PumpUntil([this] { return !world_ || world_.use_count() == 1; });
    VelkEmbedderSetOutgoingObserver(engine_.engine(), nullptr, nullptr);
  }

  static flutter::EngineProject Project() {
    flutter::EngineProject project;
    project.assets_path = L"data\\flutter_assets";
    project.icu_data_path = L"data\\icudtl.dat";
    return project;
  }

  void Deliver(const char* channel, const std::string& method,
               const flutter::EncodableValue* arguments) {
    const flutter::MethodCall call(
        method, arguments != nullptr
                    ? std::make_unique<flutter::EncodableValue>(*arguments)
                    : nullptr);
    const auto bytes =
        flutter::StandardMethodCodec::ForSerializer(nullptr).EncodeCall(call);
    records_.push_back(
        std::make_unique<ReplyRecord>(ReplyRecord{&side_, method}));
    ASSERT_TRUE(VelkEmbedderDeliverMessage(engine_.engine(), channel,
                                           bytes->data(), bytes->size(),
                                           &OnResponse, records_.back().get()));
  }

  size_t Count(bool is_reply, const std::string& text) const {
    size_t count = 0;
    for (const Arrival& arrival : side_.arrivals) {
      if (arrival.is_reply == is_reply && arrival.text == text) ++count;
    }
    return count;
  }

  // One connect and disconnect. The monitor polls once ("connected"), then
  // its clock stops until the disconnect has been answered; its next poll
  // sees the service stopped and it ends.
  void Round() {
    const size_t start = side_.arrivals.size();
    world_->HoldAt(world_->NowMs() + 500);
    const flutter::EncodableValue arguments(
        flutter::EncodableValueMap{{flutter::EncodableValue("settings"),
                                    flutter::EncodableValue(kSettings)}});
    Deliver(velk::kControlChannelName, "connect", &arguments);
    ASSERT_TRUE(world_->WaitUntilHeld(10000));
    ASSERT_TRUE(
        window_.PumpUntil([&] { return side_.arrivals.size() >= start + 3; }));
    Deliver(velk::kControlChannelName, "disconnect", nullptr);
    world_->Release();
    ASSERT_TRUE(
        window_.PumpUntil([&] { return side_.arrivals.size() >= start + 6; }));

    const std::string status = std::string(velk::kStatusChannelName) + ":";
    const std::vector<std::string> expected = {
        status + velk::kStatusConnecting,
        "connect",
        status + velk::kStatusConnected,
        status + velk::kStatusDisconnected,
        "disconnect",
        status + velk::kStatusDisconnected};
    std::vector<std::string> seen;
    for (size_t i = start; i < side_.arrivals.size(); ++i) {
      seen.push_back(side_.arrivals[i].text);
      EXPECT_EQ(side_.arrivals[i].thread, GetCurrentThreadId())
          << side_.arrivals[i].text;
    }
    // The connect thread posts "connecting", then the reply; the monitor's
    // first poll comes after its start, so after "connecting". The reply and
    // the first "connected" may arrive either way round.
    if (seen.size() == expected.size() && seen[1] != expected[1]) {
      std::swap(seen[1], seen[2]);
    }
    EXPECT_EQ(seen, expected);
  }

  static constexpr char kSettings[] =
      "private_key=AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=\n"
      "public_key=4OHi4+Tl5ufo6err7O3u7/Dx8vP09fb3+Pn6+/z9/v8=\n"
      "endpoint=e:1\n";

  TaskWindow window_;
  flutter::FlutterEngine engine_;
  InterfaceSide side_;
  std::vector<std::unique_ptr<ReplyRecord>> records_;
  std::shared_ptr<FakeTunnelWorld> world_;
  std::unique_ptr<velk::VpnPlugin> plugin_;
};

TEST_F(PluginSoakTest, TwoHundredRoundsReturnToTheFirstRoundsLevel) {
  wchar_t folder[MAX_PATH];
  wchar_t path[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"vps", 0, path);
  world_ = std::make_shared<FakeTunnelWorld>(FakeTunnelWorld::Setup{});
  world_->config_path = path;
  plugin_ = std::make_unique<velk::VpnPlugin>(
      engine_.GetMessenger(), window_.hwnd(), world_->Operations());
  Deliver(velk::kStatusChannelName, "listen", nullptr);

  ProcessFigures first;
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE(round);
    ASSERT_NO_FATAL_FAILURE(Round());
    if (round == 0) {
      // The first round's threads have ended once the figures settle.
      Sleep(100);
      first = Measure();
    }
    records_.clear();
  }
  // Let the last monitor and connect threads finish.
  ProcessFigures last = Measure();
  for (int i = 0; i < 40 && last.threads > first.threads; ++i) {
    Sleep(50);
    last = Measure();
  }
  EXPECT_GT(first.handles, 0u) << "the handle count is read";
  EXPECT_GT(first.private_bytes, 0u) << "the private bytes are read";
  std::printf(
      "after round 1: %lu handles, %d threads, %zu private bytes\n"
      "after round 200: %lu handles, %d threads, %zu private bytes\n",
      first.handles, first.threads, first.private_bytes, last.handles,
      last.threads, last.private_bytes);
  EXPECT_EQ(Count(true, "connect"), 200u);
  EXPECT_EQ(Count(true, "disconnect"), 200u);
  // Margins for the system's own bookkeeping, far below one item per round.
  EXPECT_LE(last.handles, first.handles + 20);
  EXPECT_LE(last.threads, first.threads);
  EXPECT_LE(last.private_bytes, first.private_bytes + 256 * 1024);
  (void)DeleteFileW(path);
}

}  // namespace
}  // namespace velk::test
