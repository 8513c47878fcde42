// How long the road of a connect takes, step by step, measured from the
// outside on one clock while the real client runs on a road (road.sh):
//
//   road_bench.exe [ROUNDS]
//
// Each round is one run of velk_vpn.exe whose interface connects, waits for
// "connected", disconnects and closes. The first ROUNDS rounds start from a
// machine without the service (the first connect, with the elevated setup);
// the next ROUNDS find it installed and current (the second connect), and
// the last ROUNDS find its tunnel still running (the connect stops it). A
// watcher samples every few milliseconds what can be seen: the transcript
// of the interface as it is written, the service's state, the stored file
// and the processes; the peer's log tells when the first reply went into
// the tunnel interface. Prints one line per round and the medians.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "client/provisioning/current_user.h"
#include "client/provisioning/tunnel_data_folder.h"
#include "client/provisioning/tunnel_service.h"
#include "tests/provisioning/service_test_support.h"
#include "tests/support/crash_guard.h"
#include "tests/support/test_process.h"
#include "tests/system/road_machine.h"

namespace velk::test {
namespace {

using velk::TunnelServiceState;

constexpr char kSettings[] =
    "private_key=Z3KpuaVp1gAcgJt4teAHRkfZWj87We019yA3a7Evm0g=\n"
    "public_key=aQrwXN088WZwUjgbPv2SjxWanNLiB4zqAHAgm1Ds3vs=\n"
    "endpoint=10.77.0.1:51820\n"
    "address=10.77.0.2/32\n"
    "dns=10.77.0.53\n";

constexpr char kScript[] =
    "listen\n"
    "call connect demo\n"
    "wait status connected 30000\n"
    "wait replies 10000\n"
    "sleep 300\n"
    "call disconnect\n"
    "wait replies 5000\n"
    "sleep 1500\n"
    "close\n";

// Milliseconds since 1970 by the system's clock, which is the clock the
// peer writes into its log: Wine reads the Linux clock.
double NowMs() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  const uint64_t ticks =
      (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return static_cast<double>(ticks) / 10000.0 - 11644473600000.0;
}

// When the peer first answered at or after `since_ms`, from its log lines
// "SECONDS.MILLISECONDS answered ..."; 0 if it did not.
double FirstAnswerAfter(double since_ms) {
  std::istringstream lines(ReadFileBytes(PeerLogPath()).value_or(""));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find(" answered ") == std::string::npos) continue;
    const double at_ms = std::stod(line) * 1000.0;
    if (at_ms >= since_ms) return at_ms;
  }
  return 0;
}

// First moments, on this program's clock, at which each thing was seen;
// 0 when it was not.
struct Round {
  double connect_call = 0;   // the interface sent "connect"
  double setup_started = 0;  // a second velk_vpn.exe runs
  double setup_ended = 0;    // back to one
  double stopped = 0;        // the running service seen stopped
  double written = 0;        // the stored file changed
  double running = 0;        // the service seen running
  double first_byte = 0;     // the peer answered: the interface received
  double connected = 0;      // the interface got "connected"
  double disconnect_call = 0;
  double host_gone = 0;  // no tovrane_tunnel.exe after the disconnect
  double sample_ms = 0;  // mean time between two looks, while connecting
};

FILETIME StoredFileTime() {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(velk::GetTunnelConfigPath().c_str(),
                            GetFileExInfoStandard, &data)) {
    return FILETIME{};
  }
  return data.ftLastWriteTime;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime &&
         a.dwHighDateTime == b.dwHighDateTime;
}

void Mark(double* moment, double now) {
  if (*moment == 0) *moment = now;
}

Round MeasureRound(int number) {
  const std::wstring work = InProgramFolder(L"");
  const std::wstring base = work + L"bench_" + std::to_wstring(number);
  const std::wstring transcript_path = base + L".transcript";
  WriteFileBytes(base + L".script", kScript);
  WriteFileBytes(base + L".settings", kSettings);
  const std::wstring arguments =
      L"\"--ui-script=" + base + L".script\" \"--ui-transcript=" +
      transcript_path + L"\" \"--demo-settings=" + base + L".settings\"";

  Round round;
  const bool was_running =
      velk::QueryTunnelServiceState() == TunnelServiceState::Running;
  const FILETIME file_before = StoredFileTime();

  TestProcess client;
  if (!client.Start(InProgramFolder(L"velk_vpn.exe"), arguments,
                    ProgramFolder())) {
    return round;
  }

  size_t transcript_seen = 0;
  int samples = 0;
  while (WaitForSingleObject(client.handle(), 2) == WAIT_TIMEOUT) {
    const double now = NowMs();
    if (round.connect_call != 0 && round.connected == 0) ++samples;
    const std::string transcript = ReadFileBytes(transcript_path).value_or("");
    if (transcript.size() > transcript_seen) {
      const std::string fresh = transcript.substr(transcript_seen);
      transcript_seen = transcript.size();
      if (fresh.find(" connect null") != std::string::npos ||
          fresh.find(" connect {") != std::string::npos) {
        Mark(&round.connect_call, now);
      }
      if (fresh.find("# event \"connected\"") != std::string::npos) {
        Mark(&round.connected, now);
      }
      if (fresh.find(" disconnect null") != std::string::npos) {
        Mark(&round.disconnect_call, now);
      }
    }
    if (round.connect_call == 0) continue;
    if (round.disconnect_call == 0) {
      const int clients = CountProcesses(L"velk_vpn.exe");
      if (clients >= 2) Mark(&round.setup_started, now);
      if (round.setup_started != 0 && clients == 1) {
        Mark(&round.setup_ended, now);
      }
      const TunnelServiceState state = velk::QueryTunnelServiceState();
      if (was_running && state != TunnelServiceState::Running) {
        Mark(&round.stopped, now);
      }
      if (!SameTime(StoredFileTime(), file_before)) Mark(&round.written, now);
      if (state == TunnelServiceState::Running &&
          (!was_running || round.stopped != 0)) {
        Mark(&round.running, now);
      }
    } else if (CountProcesses(L"tovrane_tunnel.exe") == 0) {
      Mark(&round.host_gone, now);
    }
  }
  // While an old tunnel ran, the peer answered it too: the new one's first
  // answer comes after the old one was seen stopped.
  round.first_byte =
      FirstAnswerAfter(std::max(round.connect_call, round.stopped));
  if (samples > 0) {
    round.sample_ms = (round.connected - round.connect_call) / samples;
  }
  return round;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle]
                                : (values[middle - 1] + values[middle]) / 2;
}

// Prints the rounds of one kind and their medians. Steps: until the old
// service is seen stopped, until the stored file changed (the setup, for a
// first connect, in between), until the service runs, until the first byte,
// until the monitor's tick reports it.
void Report(const char* kind, const std::vector<Round>& rounds) {
  std::vector<double> total, stop, write, start, first_byte, tick, setup, down,
      sample;
  std::printf("%s\n", kind);
  std::printf(
      "  round  total   stop  write  start  byte   tick  setup  down\n");
  for (size_t i = 0; i < rounds.size(); ++i) {
    const Round& r = rounds[i];
    if (r.connect_call == 0 || r.connected == 0) {
      std::printf("  %5zu  incomplete\n", i + 1);
      continue;
    }
    const double stopped = r.stopped != 0 ? r.stopped : r.connect_call;
    total.push_back(r.connected - r.connect_call);
    stop.push_back(stopped - r.connect_call);
    write.push_back(r.written - stopped);
    start.push_back(r.running - r.written);
    first_byte.push_back(r.first_byte - r.running);
    tick.push_back(r.connected - r.first_byte);
    setup.push_back(r.setup_started != 0 ? r.setup_ended - r.setup_started : 0);
    down.push_back(r.host_gone != 0 ? r.host_gone - r.disconnect_call : -1);
    sample.push_back(r.sample_ms);
    std::printf("  %5zu %6.0f %6.0f %6.0f %6.0f %5.0f %6.0f %6.0f %5.0f\n",
                i + 1, total.back(), stop.back(), write.back(), start.back(),
                first_byte.back(), tick.back(), setup.back(), down.back());
  }
  std::printf("  median%6.0f %6.0f %6.0f %6.0f %5.0f %6.0f %6.0f %5.0f\n",
              Median(total), Median(stop), Median(write), Median(start),
              Median(first_byte), Median(tick), Median(setup), Median(down));
  std::printf("  (one look every %.0f ms, median)\n", Median(sample));
  std::fflush(stdout);
}

}  // namespace

int RunBench(int argc, wchar_t** argv) {
  const int rounds = argc > 1 ? _wtoi(argv[1]) : 10;
  if (ProgramFolder().empty() || rounds < 1) {
    std::fprintf(stderr, "run through tests/system/road.sh: road_bench [N]\n");
    return 2;
  }
  std::vector<Round> first;
  for (int i = 0; i < rounds; ++i) {
    // A machine without the service and the stored file.
    RemoveTunnelService();
    (void)DeleteFileW(velk::GetTunnelConfigPath().c_str());  // may be absent
    first.push_back(MeasureRound(i));
  }
  std::vector<Round> second;
  for (int i = 0; i < rounds; ++i) second.push_back(MeasureRound(rounds + i));
  std::vector<Round> again;
  for (int i = 0; i < rounds; ++i) {
    // The tunnel of the last connect still runs: the connect stops it first.
    velk::StartTunnelService();
    WaitForTunnelServiceState(TunnelServiceState::Running, 10000);
    again.push_back(MeasureRound(2 * rounds + i));
  }
  Report("first connect (elevated setup), ms", first);
  Report("second connect (installation current), ms", second);
  Report("second connect while the tunnel runs, ms", again);
  return 0;
}

}  // namespace velk::test

int wmain(int argc, wchar_t** argv) {
  velk::test::InstallCrashGuard();
  return velk::test::RunBench(argc, argv);
}
