// Measures what watching the tunnel costs under the real service control
// manager: one monitor poll (the service query and the interface table),
// and the client's CPU time while the plug-in watches an idle, connected
// tunnel for a minute. Not a test: run it by hand (see docs/PERFORMANCE.md).
//
//   monitor_cost.exe [--seconds=N]
//
// The service is the provisioning tests' stand-in host, installed for this
// program's folder, started, and removed again at the end.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "client/provisioning/current_user.h"
#include "client/provisioning/tunnel_data_folder.h"
#include "client/provisioning/tunnel_service.h"
#include "client/vpn_plugin/outside_world.h"
#include "client/vpn_plugin/tunnel_traffic.h"
#include "common/tunnel_identity.h"
#include "interfaces/vpn_channels.h"
#include "tests/provisioning/service_test_support.h"
#include "tests/support/crash_guard.h"
#include "tests/support/message_pump.h"
#include "tests/vpn_plugin/plugin_test_fixture.h"
#include "win/program_path.h"
#include "win/scoped_handle.h"

namespace {

using Clock = std::chrono::steady_clock;

double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& time) {
    return static_cast<double>(
               (static_cast<uint64_t>(time.dwHighDateTime) << 32) |
               time.dwLowDateTime) /
           1e7;
  };
  return seconds(kernel) + seconds(user);
}

struct Cost {
  double wall_us = 0;  // median per call
  double cpu_us = 0;   // this process's CPU time per call, same run
};

// The run with the median wall time out of `repetitions` runs of `count`
// calls.
template <typename Call>
Cost MedianCost(int repetitions, int count, Call call) {
  std::vector<Cost> runs;
  for (int r = 0; r < repetitions; ++r) {
    const double cpu_before = ProcessCpuSeconds();
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) call();
    const std::chrono::duration<double, std::micro> spent =
        Clock::now() - start;
    runs.push_back({spent.count() / count,
                    (ProcessCpuSeconds() - cpu_before) * 1e6 / count});
  }
  std::sort(runs.begin(), runs.end(),
            [](const Cost& a, const Cost& b) { return a.wall_us < b.wall_us; });
  return runs[runs.size() / 2];
}

// Counters that have seen the tunnel's first bytes.
class TrafficSeen : public velk::InterfaceCounters {
 public:
  uint64_t TunnelReceivedBytes() override { return 148; }
};

bool InstallAndStart() {
  if (!velk::test::RemoveTunnelService()) return false;
  const velk::CurrentUser user = velk::QueryCurrentUser();
  if (user.empty()) return false;
  // The stand-in host beside this program serves as if installed.
  const velk::test::ScopedInstallRecord record(velk::GetProgramFolder());
  return velk::InstallTunnelService(velk::GetTunnelConfigPath(), user.sid()) &&
         velk::StartTunnelService() &&
         velk::test::WaitForTunnelServiceState(
             velk::TunnelServiceState::Running, 10000);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  velk::test::InstallCrashGuard();
  // Each figure as it is measured, also into a pipe.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  int seconds = 60;
  for (int i = 1; i < argc; ++i) {
    if (wcsncmp(argv[i], L"--seconds=", 10) == 0) {
      seconds = _wtoi(argv[i] + 10);
    }
  }
  if (!InstallAndStart()) {
    std::printf("the service did not start\n");
    (void)velk::test::RemoveTunnelService();
    return 1;
  }

  // One poll before traffic is seen: the query with the exit code and the
  // whole interface table.
  uint32_t exit_code = 0;
  const Cost query = MedianCost(
      5, 100, [&] { (void)velk::QueryTunnelServiceState(&exit_code); });
  const Cost table =
      MedianCost(5, 100, [] { (void)velk::TunnelReceivedBytes(); });
  const Cost poll = MedianCost(5, 100, [&] {
    (void)velk::QueryTunnelServiceState(&exit_code);
    (void)velk::TunnelReceivedBytes();
  });
  std::printf("service query: %.1f us wall, %.1f us client CPU\n",
              query.wall_us, query.cpu_us);
  std::printf("interface table: %.1f us wall, %.1f us client CPU\n",
              table.wall_us, table.cpu_us);
  // For comparison: the status query alone, through handles held open,
  // which the query does not do (it opens and closes both each time).
  {
    velk::ScopedServiceHandle manager(
        OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    velk::ScopedServiceHandle service(OpenServiceW(
        manager.get(), velk::kTunnelServiceName, SERVICE_QUERY_STATUS));
    const Cost held = MedianCost(5, 100, [&] {
      SERVICE_STATUS_PROCESS status;
      DWORD needed = 0;
      (void)QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO,
                                 reinterpret_cast<BYTE*>(&status),
                                 sizeof(status), &needed);
    });
    std::printf(
        "status query through held handles: %.1f us wall, %.1f us "
        "client CPU\n",
        held.wall_us, held.cpu_us);
  }
  std::printf("one poll (query + table): %.1f us wall, %.1f us client CPU\n",
              poll.wall_us, poll.cpu_us);

  // The idle connected tunnel: the real service and clock; the interface
  // reports that traffic was seen (no tunnel device exists here), after
  // which the monitor never reads it again.
  {
    velk::OutsideWorld world = velk::SystemOutsideWorld();
    world.counters = std::make_shared<TrafficSeen>();
    // The plug-in inside the client's window, whose view draws each status.
    velk::test::WindowedPlugin window(world);
    if (!window.opened() || !window.Listen()) {
      std::printf("the window did not open\n");
      (void)velk::test::RemoveTunnelService();
      return 1;
    }
    const double cpu_before = ProcessCpuSeconds();
    const auto start = Clock::now();
    // Starts the monitor.
    (void)window.CallControl(velk::vpn_channels::kGetStatus);
    // The main window's loop: blocked in GetMessageW between tasks.
    const DWORD platform_thread = GetCurrentThreadId();
    std::thread([platform_thread, seconds] {
      Sleep(static_cast<DWORD>(seconds) * 1000);
      PostThreadMessageW(platform_thread, WM_QUIT, 0, 0);
    }).detach();
    velk::test::RunMessageLoop();
    const double cpu = ProcessCpuSeconds() - cpu_before;
    const std::chrono::duration<double> wall = Clock::now() - start;
    const std::vector<std::string> statuses = window.Timeline();
    const long connected =
        std::count(statuses.begin(), statuses.end(),
                   std::string(velk::vpn_channels::kStatusConnected));
    std::printf(
        "idle connected: %.1f s watched, %ld \"connected\" events, client CPU "
        "%.3f s = %.4f %% of one core (%.1f ms per minute)\n",
        wall.count(), connected, cpu, 100.0 * cpu / wall.count(),
        60000.0 * cpu / wall.count());
  }
  // The plug-in asked its monitor to end at the next check; give it that.
  Sleep(1500);
  (void)velk::test::RemoveTunnelService();
  return 0;
}
