#include "tests/vpn_plugin/fake_tunnel_world.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace velk::test {
namespace {

using velk::TunnelServiceState;

constexpr int64_t kNsPerMs = 1000000;

// One of the world's fakes: an interface of the plug-in's, over the world.
template <typename Interface>
class WorldPart : public Interface {
 public:
  explicit WorldPart(std::shared_ptr<FakeTunnelWorld> world)
      : world_(std::move(world)) {}

 protected:
  const std::shared_ptr<FakeTunnelWorld> world_;
};

}  // namespace

class FakeTunnelWorld::Service : public WorldPart<velk::TunnelService> {
 public:
  using WorldPart::WorldPart;

  bool Exists() override {
    MutexLock lock(world_->mutex_);
    ++world_->operations_;
    return world_->setup_.installed;
  }
  bool IsCurrent(const std::wstring& config_path) override {
    MutexLock lock(world_->mutex_);
    ++world_->operations_;
    return world_->setup_.installed && world_->setup_.current &&
           config_path == kWorldConfigPath;
  }
  bool Start() override {
    world_->Note("#start");
    MutexLock lock(world_->mutex_);
    ++world_->operations_;
    if (!world_->setup_.installed || world_->setup_.start_refused) return false;
    world_->StartLocked();
    return true;
  }
  bool Stop() override {
    world_->Note("#stop");
    MutexLock lock(world_->mutex_);
    ++world_->operations_;
    if (!world_->setup_.installed) return false;
    world_->StopLocked();
    return true;
  }
  void StopAndWait() override {
    world_->Note("#stop-wait");
    MutexLock lock(world_->mutex_);
    ++world_->operations_;
    if (world_->setup_.installed) world_->StopLocked();
  }
  TunnelServiceState State(uint32_t* exit_code) override {
    MutexLock lock(world_->mutex_);
    ++world_->operations_;
    if (exit_code != nullptr) world_->monitor_polls_.push_back(world_->now_ns_);
    world_->Settle();
    if (exit_code != nullptr) *exit_code = world_->exit_code_;
    return world_->state_;
  }
};

class FakeTunnelWorld::Configuration
    : public WorldPart<velk::StoredConfiguration> {
 public:
  using WorldPart::WorldPart;

  std::wstring Path() override { return kWorldConfigPath; }
  bool Write(const std::string& config_text) override {
    MutexLock lock(world_->mutex_);
    world_->stored_config_ = config_text;
    return true;
  }
};

// As the setup mode does: store the text, install, start.
class FakeTunnelWorld::Elevation : public WorldPart<velk::ElevatedSetup> {
 public:
  using WorldPart::WorldPart;

  bool Run(const std::string& config_text) override {
    world_->Note("#setup");
    MutexLock lock(world_->mutex_);
    if (std::exchange(world_->block_elevation_, false)) {
      world_->held_ = true;
      world_->changed_.notify_all();
      while (world_->held_) world_->mutex_.Wait(world_->changed_);
    }
    ++world_->operations_;
    if (!world_->setup_.elevation_succeeds) return false;
    world_->stored_config_ = config_text;
    world_->setup_.installed = true;
    world_->setup_.current = true;
    world_->StartLocked();
    return true;
  }
};

class FakeTunnelWorld::Counters : public WorldPart<velk::InterfaceCounters> {
 public:
  using WorldPart::WorldPart;

  // 148 bytes (a handshake answer) at the first byte, then more as time
  // goes on.
  uint64_t TunnelReceivedBytes() override {
    MutexLock lock(world_->mutex_);
    world_->Settle();
    if (world_->state_ != TunnelServiceState::Running ||
        world_->first_byte_after_ms_ == kNever) {
      return 0;
    }
    const int64_t first_byte =
        world_->started_at_ns_ +
        (world_->setup_.start_delay_ms + world_->first_byte_after_ms_) *
            kNsPerMs;
    if (world_->now_ns_ < first_byte) return 0;
    return 148 + static_cast<uint64_t>((world_->now_ns_ - first_byte) / 1000);
  }
};

class FakeTunnelWorld::WorldClock : public WorldPart<velk::Clock> {
 public:
  using WorldPart::WorldPart;

  std::chrono::steady_clock::time_point Now() override {
    MutexLock lock(world_->mutex_);
    return std::chrono::steady_clock::time_point(
        std::chrono::nanoseconds(world_->now_ns_));
  }
  uint64_t SystemTime() override {
    MutexLock lock(world_->mutex_);
    return kWorldStartSystemTime + static_cast<uint64_t>(world_->now_ns_ / 100);
  }
  void Sleep(std::chrono::milliseconds duration) override {
    int64_t step = duration.count() * kNsPerMs;
    MutexLock lock(world_->mutex_);
    if (world_->setup_.sleeps_end_early) {
      step = std::max<int64_t>(step * 2 / 3, 1);
    }
    world_->Advance(step);
  }
};

velk::OutsideWorld FakeTunnelWorld::Outside() {
  std::shared_ptr<FakeTunnelWorld> world = shared_from_this();
  return {std::make_shared<Service>(world),
          std::make_shared<Configuration>(world),
          std::make_shared<Elevation>(world), std::make_shared<Counters>(world),
          std::make_shared<WorldClock>(world)};
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

// The service reads its configuration as it starts.
void FakeTunnelWorld::StartLocked() {
  Settle();
  if (state_ != TunnelServiceState::Stopped) return;  // already running
  state_ = setup_.start_delay_ms > 0 ? TunnelServiceState::Starting
                                     : TunnelServiceState::Running;
  exit_code_ = 0;
  started_at_ns_ = now_ns_;
  first_byte_after_ms_ = setup_.first_byte_after_ms;
  running_config_ = stored_config_;
}

void FakeTunnelWorld::StopLocked() {
  Settle();
  state_ = TunnelServiceState::Stopped;
  exit_code_ = 0;
}

void FakeTunnelWorld::StartRunningNow() {
  MutexLock lock(mutex_);
  StartLocked();
}

void FakeTunnelWorld::SilencePeer() {
  MutexLock lock(mutex_);
  setup_.first_byte_after_ms = kNever;
}

void FakeTunnelWorld::SetNoteReceiver(
    std::function<void(const std::string&)> receiver) {
  MutexLock lock(mutex_);
  note_receiver_ = std::move(receiver);
}

void FakeTunnelWorld::Note(const std::string& note) {
  std::function<void(const std::string&)> receiver;
  {
    MutexLock lock(mutex_);
    receiver = note_receiver_;
  }
  if (receiver) receiver(note);
}

void FakeTunnelWorld::Advance(int64_t ns) {
  const int64_t target = now_ns_ + ns;
  // Also a sleeper that starts at the moment, such as the monitor of a
  // connection made while another sleeper is held there.
  if (hold_at_ns_ >= 0 && target >= hold_at_ns_ && now_ns_ <= hold_at_ns_) {
    now_ns_ = hold_at_ns_;
    held_ = true;
    changed_.notify_all();
    while (held_) mutex_.Wait(changed_);
  }
  now_ns_ = std::max(now_ns_, target);
}

void FakeTunnelWorld::HoldAt(int64_t moment) {
  MutexLock lock(mutex_);
  hold_at_ns_ = moment * kNsPerMs;
}

void FakeTunnelWorld::BlockElevation() {
  MutexLock lock(mutex_);
  block_elevation_ = true;
}

bool FakeTunnelWorld::WaitUntilHeld(int timeout_ms) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  MutexLock lock(mutex_);
  while (!held_) {
    if (!mutex_.WaitUntil(changed_, deadline)) return held_;
  }
  return true;
}

void FakeTunnelWorld::Release() {
  MutexLock lock(mutex_);
  held_ = false;
  hold_at_ns_ = -1;
  changed_.notify_all();
}

int64_t FakeTunnelWorld::NowMs() const {
  MutexLock lock(mutex_);
  return now_ns_ / kNsPerMs;
}

std::vector<int64_t> FakeTunnelWorld::MonitorPollTimesNs() const {
  MutexLock lock(mutex_);
  return monitor_polls_;
}

int FakeTunnelWorld::ServiceOperationCount() const {
  MutexLock lock(mutex_);
  return operations_;
}

std::string FakeTunnelWorld::StoredConfig() const {
  MutexLock lock(mutex_);
  return stored_config_;
}

std::string FakeTunnelWorld::RunningConfig() const {
  MutexLock lock(mutex_);
  return running_config_;
}

velk::TunnelServiceState FakeTunnelWorld::StateNow() {
  MutexLock lock(mutex_);
  Settle();
  return state_;
}

}  // namespace velk::test
