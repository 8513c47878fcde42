#include "client/vpn_plugin/connection_context.h"

#include <system_error>
#include <thread>
#include <utility>

#include "channels/encodable_value.h"
#include "client/vpn_plugin/status_monitor.h"

namespace velk {

ConnectionContext::ConnectionContext(HWND window,
                                     ConnectionOperations operations)
    : window_(window),
      platform_thread_(GetCurrentThreadId()),
      operations_(std::move(operations)) {}

void ConnectionContext::SendStatus(const std::string& status) {
  RunOnPlatformThread([context = shared_from_this(), status] {
    if (context->event_sink_) {
      context->event_sink_->SendEvent(flutter::EncodableValue(status));
    }
  });
}

void ConnectionContext::RunOnPlatformThread(PlatformTask task) {
  if (GetCurrentThreadId() == platform_thread_) {
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

bool ConnectionContext::StartMonitor() {
  if (monitoring_.exchange(true)) return true;
  // Checked after the flag is taken: a plug-in going away sets detached_
  // before it clears the flag, so a monitor started here still sees the
  // flag cleared, and none starts once it is gone (a connect that ends
  // after the plug-in would otherwise leave one polling for ever).
  if (detached_.load()) return true;
  try {
    std::thread(RunMonitor, shared_from_this()).detach();
  } catch (const std::system_error&) {
    // Nothing runs: let a later "connect" or "getStatus" try again.
    monitoring_.exchange(false);
    return false;
  }
  return true;
}

bool ConnectionContext::StartMonitorAfterConnect() {
  // Counted before the flag is taken: a monitor that clears the flag and
  // then reads the count sees this connect whichever comes first.
  connects_.fetch_add(1);
  return StartMonitor();
}

void ConnectionContext::SetEventSink(std::unique_ptr<flutter::EventSink> sink) {
  event_sink_ = std::move(sink);
}

void ConnectionContext::Detach() {
  detached_.store(true);
  event_sink_.reset();
  window_.store(nullptr);
}

}  // namespace velk
