// A small model of what the plug-in's threads see outside the process: a
// tunnel service that is installed or not, starts (perhaps slowly), runs,
// receives traffic from some moment on and stops, by request or by itself
// with a code; an elevated setup that installs and starts it; and a clock
// whose sleeps return at once, so that a minute of monitoring takes
// milliseconds. A test can hold the clock at a moment to act there.

#ifndef TESTS_VPN_PLUGIN_FAKE_TUNNEL_WORLD_H_
#define TESTS_VPN_PLUGIN_FAKE_TUNNEL_WORLD_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/vpn_plugin/connection_operations.h"

namespace velk::test {

// Moments are milliseconds of fake time since the world began.
inline constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

// The system time (100 ns units since 1601) at which the world begins:
// 2026-01-01 00:00:00 UTC.
inline constexpr uint64_t kWorldStartSystemTime = 134116992000000000;
inline constexpr int64_t kWorldStartUnixMs = 1767225600000;

class FakeTunnelWorld : public std::enable_shared_from_this<FakeTunnelWorld> {
 public:
  struct Setup {
    bool installed = true;       // the service exists
    bool current = true;         // installed for this client
    bool start_refused = false;  // StartTunnelService fails
    bool elevation_succeeds = true;
    int64_t start_delay_ms = 0;       // start-pending this long, then running
    int64_t first_byte_after_ms = 0;  // of running; kNever: a silent peer
    int64_t stops_by_itself_at = kNever;  // a moment of fake time
    uint32_t exit_code_by_itself = 0;
    // Each service operation also takes this much real time, so that
    // overlapping calls really overlap.
    int real_delay_ms = 0;
    // Sleeps return after two thirds of the time asked, as a sleep that is
    // woken early.
    bool sleeps_end_early = false;
  };

  // The stored configuration goes to a temporary file of the world's own,
  // deleted with it.
  explicit FakeTunnelWorld(Setup setup);
  ~FakeTunnelWorld();

  // The operations the plug-in is given. They hold the world.
  velk::ConnectionOperations Operations();

  // Makes the service run now, as a tunnel left running by an earlier client.
  void StartRunningNow();

  // Called with a note ("#start", "#stop", "#stop-wait", "#setup") on the
  // calling thread whenever one of those operations runs.
  void SetNoteReceiver(std::function<void(const std::string&)> receiver);

  // A sleep that would pass `moment` stops there until Release().
  void HoldAt(int64_t moment);
  // Waits in real time until a sleeper is held; false after `timeout_ms`.
  bool WaitUntilHeld(int timeout_ms);
  void Release();
  // The next elevated setup waits, counting as held, until Release().
  void BlockElevation();

  int64_t NowMs() const;
  // The moments at which the service state was queried with an exit code,
  // as the monitor does, in nanoseconds of fake time.
  std::vector<int64_t> MonitorPollTimesNs() const;
  int ServiceOperationCount() const;
  // The text that the running service was started with.
  std::string RunningConfig() const;
  velk::TunnelServiceState StateNow();

  const std::wstring config_path;

 private:
  void Advance(std::unique_lock<std::mutex>& lock, int64_t ns);
  void Settle();  // applies the timed transitions; under the lock
  void StartLocked(const std::string& config);
  void Note(const std::string& note);
  void RealDelay() const;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  Setup setup_;
  int64_t now_ns_ = 0;
  velk::TunnelServiceState state_ = velk::TunnelServiceState::Stopped;
  uint32_t exit_code_ = 0;
  int64_t started_at_ns_ = 0;
  std::string running_config_;
  int64_t hold_at_ns_ = -1;
  bool held_ = false;
  bool block_elevation_ = false;
  int operations_ = 0;
  std::vector<int64_t> monitor_polls_;
  std::function<void(const std::string&)> note_receiver_;
};

}  // namespace velk::test

#endif  // TESTS_VPN_PLUGIN_FAKE_TUNNEL_WORLD_H_
