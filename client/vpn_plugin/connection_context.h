// What VpnPlugin shares with its worker and monitor threads: the user's
// requests, the one connection worker that carries them out in order, the
// monitor of the current connection and connected-since. The threads are
// detached and may outlive the plug-in, so they hold this object, never the
// plug-in: it lives as long as the last of them.
//
// Requests are numbered on the platform thread as they arrive ("connect"
// and "disconnect" alike); the newest is the user's last word. The worker
// carries out one piece of service work at a time: a connect still waiting
// is replaced by a newer one, and a disconnect cancels it. A status that a
// worker or monitor decided under an older request is dropped when it
// reaches the platform thread, so nothing from an attempt the user has
// since overruled reaches the interface.
//
// The event sink and every method result are used on the platform thread
// only, by functions that check that they run there; the rest of the
// shared state is guarded by `mutex_`.

#ifndef CLIENT_VPN_PLUGIN_CONNECTION_CONTEXT_H_
#define CLIENT_VPN_PLUGIN_CONNECTION_CONTEXT_H_

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "channels/event_sink.h"
#include "channels/method_result.h"
#include "client/platform_task.h"
#include "client/vpn_plugin/outside_world.h"
#include "common/thread_annotations.h"
#include "common/thread_checker.h"

namespace velk {

// One piece of work for the connection worker.
struct ServiceWork {
  enum class Kind {
    kConnect,           // stop the old service, store the text, start
    kStop,              // the stop of a "disconnect" asked during other work
    kStopSilentTunnel,  // a monitor's tunnel that never received a byte
  };
  Kind kind = Kind::kConnect;
  // The request this work carries out; for kStopSilentTunnel the user's last
  // request when the monitor decided.
  uint64_t request = 0;
  uint64_t monitor = 0;     // kStopSilentTunnel: the monitor that asked
  std::string config_text;  // kConnect
  // kConnect: answered once, on the platform thread.
  std::shared_ptr<flutter::MethodResult> result;
};

class ConnectionContext
    : public std::enable_shared_from_this<ConnectionContext> {
 public:
  // Made on the platform thread, which it records as such.
  ConnectionContext(HWND window, OutsideWorld world);

  ConnectionContext(const ConnectionContext&) = delete;
  ConnectionContext& operator=(const ConnectionContext&) = delete;

  const OutsideWorld& world() const { return world_; }

  // --- Platform thread (checked).

  // A "connect" whose configuration text is built: sends "connecting" at
  // once, answers a connect that was still waiting (it is replaced) and
  // hands this one to the worker.
  void AskToConnect(std::string config_text,
                    std::unique_ptr<flutter::MethodResult> result);
  // Cancels a waiting connect, stops the service now when no service work
  // is under way and after that work otherwise, sends "disconnected" and
  // answers.
  void AskToDisconnect(std::unique_ptr<flutter::MethodResult> result);
  // The status "getStatus" answers; starts a monitor when the service runs
  // and none watches it.
  std::string CurrentStatus();
  int64_t ConnectedSince() EXCLUDES(mutex_);
  // The sink of the current listen, or none.
  void SetEventSink(std::unique_ptr<flutter::EventSink> sink);
  // From the plug-in's destructor: drops the waiting work and the sink,
  // stops posting to the window and silences every monitor, so that
  // whatever the threads still do reaches nobody.
  void Detach();

  // --- Any thread.

  // Dropped when nobody listens when it reaches the platform thread.
  void SendStatus(const std::string& status);
  // The same, dropped also when a newer request than `request` has arrived
  // by then.
  void SendStatusOfRequest(const std::string& status, uint64_t request);
  // On the platform thread the task runs at once; otherwise it is posted to
  // the main window, which runs and frees it. Once the plug-in is gone, or
  // when the window takes no more messages, the task is destroyed here
  // without running.
  void RunOnPlatformThread(PlatformTask task);

  // --- The worker.

  // The next piece of work, or none: the worker then ends.
  std::optional<ServiceWork> TakeWork() EXCLUDES(mutex_);
  bool IsLatestRequest(uint64_t request) EXCLUDES(mutex_);
  // After the service work of connect `request`: unless the user has asked
  // for something else since, starts the monitor of the new connection or
  // reports the failure.
  void FinishConnect(uint64_t request, bool service_running) EXCLUDES(mutex_);

  // --- Monitors. Each has a number; only the current one may report.

  // Before a poll: the user's last request, which the poll's status is sent
  // under, or none when this monitor is no longer current.
  std::optional<uint64_t> BeginPoll(uint64_t monitor) EXCLUDES(mutex_);
  // Sets connected-since, if the monitor is still current.
  void SetConnectedSince(uint64_t monitor, int64_t unix_ms) EXCLUDES(mutex_);
  // Hands the stop of a tunnel that never received anything to the worker,
  // which reports it under `request`. False when other work waits (a newer
  // request decides) or no worker could start: the monitor polls on.
  bool AskToStopSilentTunnel(uint64_t monitor, uint64_t request)
      EXCLUDES(mutex_);
  bool IsCurrentMonitor(uint64_t monitor) EXCLUDES(mutex_);
  // A finished monitor: if current, none is, and connected-since is cleared.
  void EndMonitor(uint64_t monitor) EXCLUDES(mutex_);

 private:
  // Starts a monitor unless one is current; for "getStatus".
  void StartMonitorIfNone() EXCLUDES(mutex_);
  // The thread of a monitor already made current.
  void StartMonitorThread(uint64_t monitor) EXCLUDES(mutex_);
  // Starts the worker thread; false when none could start.
  bool StartWorkerThread();
  void Emit(const std::string& status);

  const ThreadChecker platform_thread_;
  std::atomic<HWND> window_;
  const OutsideWorld world_;
  std::unique_ptr<flutter::EventSink> event_sink_;

  Mutex mutex_;
  uint64_t latest_request_ GUARDED_BY(mutex_) = 0;
  // At most one piece of work waits; the worker runs while this is set.
  std::optional<ServiceWork> waiting_ GUARDED_BY(mutex_);
  bool worker_running_ GUARDED_BY(mutex_) = false;
  // The worker is doing service work. A connect's ends with FinishConnect,
  // before its reply is posted: the worker thread may still be alive
  // afterwards, but a disconnect that follows the reply has nothing to wait
  // for, and a stop deferred behind nothing would let the monitor report
  // the still-running tunnel after "disconnected".
  bool work_under_way_ GUARDED_BY(mutex_) = false;
  // The user's last request is a connect whose work has not finished.
  bool connect_under_way_ GUARDED_BY(mutex_) = false;
  uint64_t current_monitor_ GUARDED_BY(mutex_) = 0;  // 0: none
  uint64_t monitors_made_ GUARDED_BY(mutex_) = 0;
  // Milliseconds since 1970-01-01 00:00 UTC at which the current connection
  // was first seen carrying traffic; 0 for none.
  int64_t connected_since_ GUARDED_BY(mutex_) = 0;
  bool detached_ GUARDED_BY(mutex_) = false;
};

}  // namespace velk

#endif  // CLIENT_VPN_PLUGIN_CONNECTION_CONTEXT_H_
