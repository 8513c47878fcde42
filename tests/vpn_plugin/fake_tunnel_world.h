// A small model of what the plug-in's threads see outside the process: a
// tunnel service that is installed or not, starts (perhaps slowly), runs,
// receives traffic from some moment on and stops, by request or by itself
// with a code; the stored configuration that it reads as it starts; an
// elevated setup that stores, installs and starts it; and a clock whose
// sleeps return at once, so that a minute of monitoring takes milliseconds.
// A test can hold the clock at a moment, or the elevated setup, to act
// there.

#ifndef TESTS_VPN_PLUGIN_FAKE_TUNNEL_WORLD_H_
#define TESTS_VPN_PLUGIN_FAKE_TUNNEL_WORLD_H_

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "client/vpn_plugin/outside_world.h"
#include "common/thread_annotations.h"

namespace velk::test {

// Moments are milliseconds of fake time since the world began.
inline constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

// The system time (100 ns units since 1601) at which the world begins:
// 2026-01-01 00:00:00 UTC.
inline constexpr uint64_t kWorldStartSystemTime = 134116992000000000;
inline constexpr int64_t kWorldStartUnixMs = 1767225600000;

// Where the world's stored configuration lives, as its service is
// installed for.
inline constexpr wchar_t kWorldConfigPath[] =
    L"C:\\ProgramData\\TovraneVPN\\tovranevpn.conf";

class FakeTunnelWorld : public std::enable_shared_from_this<FakeTunnelWorld> {
 public:
  struct Setup {
    bool installed = true;       // the service exists
    bool current = true;         // installed for this client
    bool start_refused = false;  // a direct start fails
    bool elevation_succeeds = true;
    int64_t start_delay_ms = 0;       // start-pending this long, then running
    int64_t first_byte_after_ms = 0;  // of running; kNever: a silent peer
    int64_t stops_by_itself_at = kNever;  // a moment of fake time
    uint32_t exit_code_by_itself = 0;
    // Sleeps return after two thirds of the time asked, as a sleep that is
    // woken early.
    bool sleeps_end_early = false;
  };

  explicit FakeTunnelWorld(Setup setup) : setup_(setup) {}

  // The service, stored configuration, elevated setup, counters and clock
  // that the plug-in is given: one fake of each, all holding the world.
  velk::OutsideWorld Outside();

  // Makes the service run now, as a tunnel left running by an earlier client.
  void StartRunningNow();
  // Services started from now on meet a peer that never answers.
  void SilencePeer();

  // Called with a note ("#start", "#stop", "#stop-wait", "#setup") on the
  // calling thread whenever one of those operations runs.
  void SetNoteReceiver(std::function<void(const std::string&)> receiver);

  // Every sleep that would pass `moment`, or starts there, stops there
  // until Release().
  void HoldAt(int64_t moment);
  // The next elevated setup waits, counting as held, until Release().
  void BlockElevation();
  // Waits in real time until a sleeper or the setup is held; false after
  // `timeout_ms`.
  bool WaitUntilHeld(int timeout_ms);
  void Release();

  int64_t NowMs() const;
  // The moments at which the service state was queried with an exit code,
  // as the monitor does, in nanoseconds of fake time.
  std::vector<int64_t> MonitorPollTimesNs() const;
  int ServiceOperationCount() const;
  std::string StoredConfig() const;
  // The text that the running service was started with.
  std::string RunningConfig() const;
  velk::TunnelServiceState StateNow();

 private:
  class Service;
  class Configuration;
  class Elevation;
  class Counters;
  class WorldClock;

  void Advance(int64_t ns) REQUIRES(mutex_);
  void Settle() REQUIRES(mutex_);  // applies the timed transitions
  void StartLocked() REQUIRES(mutex_);
  void StopLocked() REQUIRES(mutex_);
  void Note(const std::string& note);

  mutable Mutex mutex_;
  std::condition_variable changed_;
  Setup setup_ GUARDED_BY(mutex_);
  int64_t now_ns_ GUARDED_BY(mutex_) = 0;
  velk::TunnelServiceState state_ GUARDED_BY(mutex_) =
      velk::TunnelServiceState::Stopped;
  uint32_t exit_code_ GUARDED_BY(mutex_) = 0;
  int64_t started_at_ns_ GUARDED_BY(mutex_) = 0;
  // Of the running service.
  int64_t first_byte_after_ms_ GUARDED_BY(mutex_) = 0;
  std::string stored_config_ GUARDED_BY(mutex_);
  std::string running_config_ GUARDED_BY(mutex_);
  int64_t hold_at_ns_ GUARDED_BY(mutex_) = -1;
  bool held_ GUARDED_BY(mutex_) = false;
  bool block_elevation_ GUARDED_BY(mutex_) = false;
  int operations_ GUARDED_BY(mutex_) = 0;
  std::vector<int64_t> monitor_polls_ GUARDED_BY(mutex_);
  std::function<void(const std::string&)> note_receiver_ GUARDED_BY(mutex_);
};

}  // namespace velk::test

#endif  // TESTS_VPN_PLUGIN_FAKE_TUNNEL_WORLD_H_
