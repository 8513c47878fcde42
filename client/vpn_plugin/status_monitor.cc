#include "client/vpn_plugin/status_monitor.h"

#include <string>

#include "client/vpn_plugin/status_strings.h"

namespace velk {
namespace {

// 1601-01-01 to 1970-01-01 in milliseconds.
constexpr int64_t kUnixEpochInSystemMilliseconds = 11644473600000;

// Sleeps until one second after the call by the monotonic clock. A sleep can
// end early; each one takes the time still left, rounded up, so the pause
// never ends before its deadline.
void PauseOneSecond(const ConnectionOperations& operations) {
  const auto deadline = operations.monotonic_now() + std::chrono::seconds(1);
  for (auto now = operations.monotonic_now(); now < deadline;
       now = operations.monotonic_now()) {
    const auto remaining =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
    operations.sleep(static_cast<DWORD>(remaining.count()));
  }
}

}  // namespace

int64_t UnixMillisecondsFromSystemTime(uint64_t system_time) {
  return static_cast<int64_t>(system_time / 10000) -
         kUnixEpochInSystemMilliseconds;
}

void RunMonitor(std::shared_ptr<ConnectionContext> context) {
  const ConnectionOperations& operations = context->operations();
  const auto started = operations.monotonic_now();
  bool traffic_seen = false;
  // The connects that this monitor has seen the service up after.
  uint64_t connects_watched = context->connects();

  // Each poll either reports and pauses, or reports the end and finishes.
  // A plug-in that went away while we slept ends the loop silently: it
  // cleared the flag, and connected-since is left as it was.
  while (context->monitoring().load()) {
    uint32_t exit_code = 0;
    const TunnelServiceState state = operations.query_service_state(&exit_code);
    bool finished = false;
    if (state == TunnelServiceState::Running) {
      if (!traffic_seen && operations.received_bytes() == 0) {
        if (operations.monotonic_now() - started <= kHandshakeAllowance) {
          context->SendStatus(kStatusConnecting);
        } else {
          // Stopped before the error is reported, so that no idle tunnel
          // stays up behind the message.
          operations.stop_service_and_wait();
          context->SendStatus(kStatusNoHandshake);
          finished = true;
        }
      } else {
        if (!traffic_seen) {
          context->connected_since().exchange(
              UnixMillisecondsFromSystemTime(operations.system_time()));
          traffic_seen = true;
        }
        context->SendStatus(kStatusConnected);
      }
    } else if (state == TunnelServiceState::Starting) {
      context->SendStatus(kStatusConnecting);
    } else {
      context->SendStatus(exit_code != 0 ? ServiceStoppedStatus(exit_code)
                                         : std::string(kStatusDisconnected));
      finished = true;
    }

    if (finished) {
      context->connected_since().exchange(0);
      context->monitoring().exchange(false);
      // A connect that found this monitor still running started none of its
      // own: its service came up after the poll that ended this one.
      if (context->connects() != connects_watched) {
        (void)context->StartMonitor();
      }
      return;
    }
    PauseOneSecond(operations);
  }
}

}  // namespace velk
