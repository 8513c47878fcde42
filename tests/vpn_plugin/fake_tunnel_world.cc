#include "tests/vpn_plugin/fake_tunnel_world.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "win/whole_file.h"

namespace velk::test {
namespace {

using velk::TunnelServiceState;

constexpr int64_t kNsPerMs = 1000000;

std::wstring NewTemporaryFile() {
  wchar_t folder[MAX_PATH];
  wchar_t path[MAX_PATH] = L"";
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"vpt", 0, path);
  return path;
}

}  // namespace

FakeTunnelWorld::FakeTunnelWorld(Setup setup)
    : config_path(NewTemporaryFile()), setup_(setup) {}

FakeTunnelWorld::~FakeTunnelWorld() {
  (void)DeleteFileW(config_path.c_str());  // a leftover only clutters
}

void FakeTunnelWorld::SetNoteReceiver(
    std::function<void(const std::string&)> receiver) {
  std::lock_guard<std::mutex> lock(mutex_);
  note_receiver_ = std::move(receiver);
}

void FakeTunnelWorld::Note(const std::string& note) {
  std::function<void(const std::string&)> receiver;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    receiver = note_receiver_;
  }
  if (receiver) receiver(note);
}

void FakeTunnelWorld::RealDelay() const {
  if (setup_.real_delay_ms > 0) ::Sleep(setup_.real_delay_ms);
}

void FakeTunnelWorld::Settle() {
  const int64_t running_since =
      started_at_ns_ + setup_.start_delay_ms * kNsPerMs;
  if (state_ == TunnelServiceState::Starting && now_ns_ >= running_since) {
    state_ = TunnelServiceState::Running;
  }
  if (state_ != TunnelServiceState::Stopped &&
      setup_.stops_by_itself_at != kNever &&
      now_ns_ >= setup_.stops_by_itself_at * kNsPerMs) {
    state_ = TunnelServiceState::Stopped;
    exit_code_ = setup_.exit_code_by_itself;
  }
}

void FakeTunnelWorld::StartLocked(const std::string& config) {
  Settle();
  if (state_ != TunnelServiceState::Stopped) return;  // already running
  state_ = setup_.start_delay_ms > 0 ? TunnelServiceState::Starting
                                     : TunnelServiceState::Running;
  exit_code_ = 0;
  started_at_ns_ = now_ns_;
  running_config_ = config;
}

void FakeTunnelWorld::StartRunningNow() {
  std::lock_guard<std::mutex> lock(mutex_);
  StartLocked("");
}

velk::TunnelServiceState FakeTunnelWorld::StateNow() {
  std::lock_guard<std::mutex> lock(mutex_);
  Settle();
  return state_;
}

velk::ConnectionOperations FakeTunnelWorld::Operations() {
  std::shared_ptr<FakeTunnelWorld> world = shared_from_this();
  velk::ConnectionOperations operations;
  operations.service_exists = [world] {
    world->RealDelay();
    std::lock_guard<std::mutex> lock(world->mutex_);
    ++world->operations_;
    return world->setup_.installed;
  };
  operations.service_is_current = [world](const std::wstring& path) {
    std::lock_guard<std::mutex> lock(world->mutex_);
    ++world->operations_;
    return world->setup_.installed && world->setup_.current &&
           path == world->config_path;
  };
  operations.start_service = [world] {
    world->Note("#start");
    world->RealDelay();
    // The service reads its configuration as it starts.
    std::string config;
    (void)velk::ReadWholeFile(world->config_path, &config);
    std::lock_guard<std::mutex> lock(world->mutex_);
    ++world->operations_;
    if (!world->setup_.installed || world->setup_.start_refused) return false;
    world->StartLocked(config);
    return true;
  };
  operations.stop_service = [world] {
    world->Note("#stop");
    std::lock_guard<std::mutex> lock(world->mutex_);
    ++world->operations_;
    world->Settle();
    if (!world->setup_.installed) return false;
    world->state_ = TunnelServiceState::Stopped;
    world->exit_code_ = 0;
    return true;
  };
  operations.stop_service_and_wait = [world] {
    world->Note("#stop-wait");
    world->RealDelay();
    std::lock_guard<std::mutex> lock(world->mutex_);
    ++world->operations_;
    world->Settle();
    if (world->setup_.installed) {
      world->state_ = TunnelServiceState::Stopped;
      world->exit_code_ = 0;
    }
  };
  operations.query_service_state = [world](uint32_t* exit_code) {
    std::lock_guard<std::mutex> lock(world->mutex_);
    ++world->operations_;
    if (exit_code != nullptr) world->monitor_polls_.push_back(world->now_ns_);
    world->Settle();
    if (exit_code != nullptr) *exit_code = world->exit_code_;
    return world->state_;
  };
  operations.run_elevated_setup = [world](const std::string& config) {
    world->Note("#setup");
    world->RealDelay();
    {
      std::unique_lock<std::mutex> lock(world->mutex_);
      if (std::exchange(world->block_elevation_, false)) {
        world->held_ = true;
        world->changed_.notify_all();
        world->changed_.wait(lock, [&] { return !world->held_; });
      }
      ++world->operations_;
      if (!world->setup_.elevation_succeeds) return false;
    }
    // As the setup mode does: store the text, install, start.
    if (!velk::WriteWholeFile(world->config_path, config)) return false;
    std::lock_guard<std::mutex> lock(world->mutex_);
    world->setup_.installed = true;
    world->setup_.current = true;
    world->StartLocked(config);
    return true;
  };
  operations.config_path = [world] { return world->config_path; };
  operations.received_bytes = [world]() -> uint64_t {
    std::lock_guard<std::mutex> lock(world->mutex_);
    world->Settle();
    if (world->state_ != TunnelServiceState::Running ||
        world->setup_.first_byte_after_ms == kNever) {
      return 0;
    }
    const int64_t first_byte =
        world->started_at_ns_ +
        (world->setup_.start_delay_ms + world->setup_.first_byte_after_ms) *
            kNsPerMs;
    if (world->now_ns_ < first_byte) return 0;
    // 148 bytes (a handshake answer), then more as time goes on.
    return 148 + static_cast<uint64_t>((world->now_ns_ - first_byte) / 1000);
  };
  operations.monotonic_now = [world] {
    std::lock_guard<std::mutex> lock(world->mutex_);
    return std::chrono::steady_clock::time_point(
        std::chrono::nanoseconds(world->now_ns_));
  };
  operations.system_time = [world] {
    std::lock_guard<std::mutex> lock(world->mutex_);
    return kWorldStartSystemTime + static_cast<uint64_t>(world->now_ns_ / 100);
  };
  operations.sleep = [world](DWORD milliseconds) {
    int64_t step = static_cast<int64_t>(milliseconds) * kNsPerMs;
    if (world->setup_.sleeps_end_early)
      step = std::max<int64_t>(step * 2 / 3, 1);
    std::unique_lock<std::mutex> lock(world->mutex_);
    world->Advance(lock, step);
  };
  return operations;
}

void FakeTunnelWorld::Advance(std::unique_lock<std::mutex>& lock, int64_t ns) {
  const int64_t target = now_ns_ + ns;
  if (hold_at_ns_ >= 0 && target >= hold_at_ns_ && now_ns_ < hold_at_ns_) {
    now_ns_ = hold_at_ns_;
    held_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !held_; });
  }
  now_ns_ = std::max(now_ns_, target);
}

void FakeTunnelWorld::BlockElevation() {
  std::lock_guard<std::mutex> lock(mutex_);
  block_elevation_ = true;
}

void FakeTunnelWorld::HoldAt(int64_t moment) {
  std::lock_guard<std::mutex> lock(mutex_);
  hold_at_ns_ = moment * kNsPerMs;
}

bool FakeTunnelWorld::WaitUntilHeld(int timeout_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [this] { return held_; });
}

void FakeTunnelWorld::Release() {
  std::lock_guard<std::mutex> lock(mutex_);
  held_ = false;
  hold_at_ns_ = -1;
  changed_.notify_all();
}

int64_t FakeTunnelWorld::NowMs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return now_ns_ / kNsPerMs;
}

std::vector<int64_t> FakeTunnelWorld::MonitorPollTimesNs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return monitor_polls_;
}

int FakeTunnelWorld::ServiceOperationCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return operations_;
}

std::string FakeTunnelWorld::RunningConfig() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_config_;
}

}  // namespace velk::test
