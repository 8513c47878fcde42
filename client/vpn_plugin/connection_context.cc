#include "client/vpn_plugin/connection_context.h"

#include <system_error>
#include <thread>
#include <utility>

#include "channels/encodable_value.h"
#include "client/vpn_plugin/connect_work.h"
#include "client/vpn_plugin/status_monitor.h"
#include "client/vpn_plugin/status_strings.h"

namespace velk {

ConnectionContext::ConnectionContext(HWND window, OutsideWorld world)
    : window_(window), world_(std::move(world)) {}

void ConnectionContext::AskToConnect(
    std::string config_text, std::unique_ptr<flutter::MethodResult> result) {
  CHECK_CALLED_ON_VALID_THREAD(platform_thread_);
  std::optional<ServiceWork> replaced;
  bool start_worker = false;
  uint64_t request = 0;
  {
    MutexLock lock(mutex_);
    request = ++latest_request_;
    // The connection watched so far is being replaced: its monitor falls
    // silent, and the new one starts its own allowance and connected-since.
    current_monitor_ = 0;
    connected_since_ = 0;
    connect_under_way_ = true;
    replaced = std::move(waiting_);
    waiting_ = ServiceWork{ServiceWork::Kind::kConnect, request, 0,
                           std::move(config_text), std::move(result)};
    start_worker = !std::exchange(worker_running_, true);
  }
  SendStatus(kStatusConnecting);
  // A connect replaced before it ran has nothing more to report than its
  // reply; this one's statuses stand for it.
  if (replaced && replaced->result) replaced->result->Success();
  if (start_worker && !StartWorkerThread()) {
    std::optional<ServiceWork> work;
    {
      MutexLock lock(mutex_);
      work = std::move(waiting_);
      waiting_.reset();
      worker_running_ = false;
      connect_under_way_ = false;
    }
    SendStatus(kStatusServiceSetupFailed);
    if (work && work->result) work->result->Success();
  }
}

void ConnectionContext::AskToDisconnect(
    std::unique_ptr<flutter::MethodResult> result) {
  CHECK_CALLED_ON_VALID_THREAD(platform_thread_);
  std::optional<ServiceWork> cancelled;
  bool stop_now = false;
  {
    MutexLock lock(mutex_);
    const uint64_t request = ++latest_request_;
    connected_since_ = 0;
    connect_under_way_ = false;
    cancelled = std::move(waiting_);
    waiting_.reset();
    if (work_under_way_) {
      // After the work under way, which may be starting the service.
      waiting_.emplace();
      waiting_->kind = ServiceWork::Kind::kStop;
      waiting_->request = request;
    } else {
      stop_now = true;
    }
  }
  // No wait: a monitor that runs reports the stop when it sees it.
  if (stop_now) (void)world_.service->Stop();
  SendStatus(kStatusDisconnected);
  result->Success();
  if (cancelled && cancelled->result) cancelled->result->Success();
}

std::string ConnectionContext::CurrentStatus() {
  CHECK_CALLED_ON_VALID_THREAD(platform_thread_);
  {
    MutexLock lock(mutex_);
    // The service may be between a stop and a start: the connect decides.
    if (connect_under_way_) return kStatusConnecting;
  }
  const TunnelServiceState state = world_.service->State(nullptr);
  if (state == TunnelServiceState::Stopped) return kStatusDisconnected;
  StartMonitorIfNone();
  if (state == TunnelServiceState::Running &&
      world_.counters->TunnelReceivedBytes() != 0) {
    return kStatusConnected;
  }
  return kStatusConnecting;
}

int64_t ConnectionContext::ConnectedSince() {
  MutexLock lock(mutex_);
  return connected_since_;
}

void ConnectionContext::SetEventSink(std::unique_ptr<flutter::EventSink> sink) {
  CHECK_CALLED_ON_VALID_THREAD(platform_thread_);
  event_sink_ = std::move(sink);
}

void ConnectionContext::Detach() {
  CHECK_CALLED_ON_VALID_THREAD(platform_thread_);
  std::optional<ServiceWork> dropped;
  {
    MutexLock lock(mutex_);
    detached_ = true;
    current_monitor_ = 0;
    dropped = std::move(waiting_);
    waiting_.reset();
  }
  event_sink_.reset();
  window_.store(nullptr);
}

void ConnectionContext::SendStatus(const std::string& status) {
  RunOnPlatformThread(
      [context = shared_from_this(), status] { context->Emit(status); });
}

void ConnectionContext::SendStatusOfRequest(const std::string& status,
                                            uint64_t request) {
  RunOnPlatformThread([context = shared_from_this(), status, request] {
    if (context->IsLatestRequest(request)) context->Emit(status);
  });
}

void ConnectionContext::Emit(const std::string& status) {
  CHECK_CALLED_ON_VALID_THREAD(platform_thread_);
  if (event_sink_) event_sink_->SendEvent(flutter::EncodableValue(status));
}

void ConnectionContext::RunOnPlatformThread(PlatformTask task) {
  if (platform_thread_.CalledOnValidThread()) {
    task();
    return;
  }
  const HWND window = window_.load();
  if (window == nullptr) return;
  auto posted = std::make_unique<PlatformTask>(std::move(task));
  // A failed post (window destroyed, queue full) leaves the task with us: it
  // is destroyed here. A successful one belongs to the window from now on.
  if (PostMessageW(window, kRunTaskMessage, 0,
                   reinterpret_cast<LPARAM>(posted.get()))) {
    (void)posted.release();
  }
}

std::optional<ServiceWork> ConnectionContext::TakeWork() {
  MutexLock lock(mutex_);
  work_under_way_ = false;
  if (!waiting_ || detached_) {
    worker_running_ = false;
    return std::nullopt;
  }
  std::optional<ServiceWork> work = std::move(waiting_);
  waiting_.reset();
  work_under_way_ = true;
  return work;
}

bool ConnectionContext::IsLatestRequest(uint64_t request) {
  MutexLock lock(mutex_);
  return request == latest_request_;
}

void ConnectionContext::FinishConnect(uint64_t request, bool service_running) {
  uint64_t monitor = 0;
  {
    MutexLock lock(mutex_);
    work_under_way_ = false;
    if (request != latest_request_ || detached_) return;
    connect_under_way_ = false;
    if (service_running) {
      monitor = ++monitors_made_;
      current_monitor_ = monitor;
    }
  }
  if (monitor != 0) {
    StartMonitorThread(monitor);
  } else {
    SendStatusOfRequest(kStatusServiceSetupFailed, request);
  }
}

std::optional<uint64_t> ConnectionContext::BeginPoll(uint64_t monitor) {
  MutexLock lock(mutex_);
  if (monitor != current_monitor_) return std::nullopt;
  return latest_request_;
}

void ConnectionContext::SetConnectedSince(uint64_t monitor, int64_t unix_ms) {
  MutexLock lock(mutex_);
  if (monitor == current_monitor_) connected_since_ = unix_ms;
}

bool ConnectionContext::AskToStopSilentTunnel(uint64_t monitor,
                                              uint64_t request) {
  {
    MutexLock lock(mutex_);
    if (monitor != current_monitor_ || waiting_) return false;
    waiting_.emplace();
    waiting_->kind = ServiceWork::Kind::kStopSilentTunnel;
    waiting_->request = request;
    waiting_->monitor = monitor;
    if (std::exchange(worker_running_, true)) return true;
  }
  if (StartWorkerThread()) return true;
  MutexLock lock(mutex_);
  waiting_.reset();
  worker_running_ = false;
  return false;
}

bool ConnectionContext::IsCurrentMonitor(uint64_t monitor) {
  MutexLock lock(mutex_);
  return monitor == current_monitor_;
}

void ConnectionContext::EndMonitor(uint64_t monitor) {
  MutexLock lock(mutex_);
  if (monitor != current_monitor_) return;
  current_monitor_ = 0;
  connected_since_ = 0;
}

void ConnectionContext::StartMonitorIfNone() {
  uint64_t monitor = 0;
  {
    MutexLock lock(mutex_);
    if (detached_ || current_monitor_ != 0) return;
    monitor = ++monitors_made_;
    current_monitor_ = monitor;
  }
  StartMonitorThread(monitor);
}

void ConnectionContext::StartMonitorThread(uint64_t monitor) {
  try {
    std::thread(RunMonitor, shared_from_this(), monitor).detach();
  } catch (const std::system_error&) {
    // Nothing watches the tunnel: the next "getStatus" tries again.
    MutexLock lock(mutex_);
    if (monitor == current_monitor_) current_monitor_ = 0;
  }
}

bool ConnectionContext::StartWorkerThread() {
  try {
    std::thread(RunConnectionWorker, shared_from_this()).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

}  // namespace velk
