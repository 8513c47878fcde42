// 200 rounds of connect and disconnect through the client's main window and
// the real channel layer: every status and reply reaches the interface on
// the platform thread in the order its thread posted it, and no handle,
// thread or memory is left behind.

#include <windows.h>
// clang-format off
#include <psapi.h>
#include <tlhelp32.h>
// clang-format on

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "client/vpn_plugin/status_strings.h"
#include "interfaces/vpn_channels.h"
#include "tests/vpn_plugin/plugin_test_fixture.h"
#include "win/scoped_handle.h"

namespace velk::test {
namespace {

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
  const ScopedKernelHandle snapshot(
      CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot.get(), &entry); more;
       more = Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++figures.threads;
  }
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof(memory);
  GetProcessMemoryInfo(GetCurrentProcess(),
                       reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                       sizeof(memory));
  figures.private_bytes =
      memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage;
  return figures;
}

class PluginSoakTest : public PluginTest {
 protected:
  // One connect and disconnect. The monitor polls once ("connected"), then
  // its clock stops until the disconnect has been answered; its next poll
  // sees the service stopped and it ends.
  void Round() {
    window_->Forget();
    world_->HoldAt(world_->NowMs() + 500);
    const size_t connect = Connect();
    ASSERT_TRUE(world_->WaitUntilHeld(10000));
    ASSERT_TRUE(PumpMessagesUntil(
        [&] { return window_->Replied(connect) && Timeline().size() >= 4; }));
    const size_t disconnect = window_->CallControl(vpn_channels::kDisconnect);
    world_->Release();
    ASSERT_TRUE(WaitForTimeline(7));

    EXPECT_EQ(Timeline(),
              (std::vector<std::string>{
                  kStatusConnecting, "#stop-wait", "#start", kStatusConnected,
                  "#stop", kStatusDisconnected, kStatusDisconnected}));
    // The connect thread posts "connecting", then its reply; the monitor's
    // "connected" may come either side of that reply. "disconnect" answers
    // at once, after the status it sends.
    const size_t connect_reply = window_->ReplyPosition(connect);
    EXPECT_TRUE(connect_reply == 3 || connect_reply == 4) << connect_reply;
    EXPECT_EQ(window_->ReplyPosition(disconnect), 6u);
    EXPECT_EQ(window_->Reply(connect).kind, Answer::kSuccess);
    EXPECT_EQ(window_->Reply(disconnect).kind, Answer::kSuccess);
  }
};

TEST_F(PluginSoakTest, TwoHundredRoundsReturnToTheFirstRoundsLevel) {
  Start({});
  ASSERT_TRUE(window_->Listen());

  ProcessFigures first;
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE(round);
    ASSERT_NO_FATAL_FAILURE(Round());
    if (round == 0) {
      // The first round's threads have ended once the figures settle.
      PumpMessagesFor(100);
      first = Measure();
    }
  }
  // Let the last monitor and connect threads finish.
  ProcessFigures last = Measure();
  for (int i = 0; i < 40 && last.threads > first.threads; ++i) {
    PumpMessagesFor(50);
    last = Measure();
  }
  std::printf(
      "after round 1: %lu handles, %d threads, %zu private bytes\n"
      "after round 200: %lu handles, %d threads, %zu private bytes\n",
      first.handles, first.threads, first.private_bytes, last.handles,
      last.threads, last.private_bytes);
  EXPECT_GT(first.handles, 0u) << "the handle count is read";
  EXPECT_GT(first.private_bytes, 0u) << "the private bytes are read";
  EXPECT_EQ(window_->Misdelivered(), 0);
  // Margins for the system's own bookkeeping, far below one item per round.
  EXPECT_LE(last.handles, first.handles + 20);
  EXPECT_LE(last.threads, first.threads);
  EXPECT_LE(last.private_bytes, first.private_bytes + 256 * 1024);
}

}  // namespace
}  // namespace velk::test
