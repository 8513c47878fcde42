#include "client/vpn_plugin/status_monitor.h"

#include <optional>
#include <string>

#include "client/vpn_plugin/status_strings.h"

namespace velk {
namespace {

// 1601-01-01 to 1970-01-01 in milliseconds.
constexpr int64_t kUnixEpochInSystemMilliseconds = 11644473600000;

// Sleeps until one second after the call by the monotonic clock. A sleep can
// end early; each one takes the time still left, rounded up, so the pause
// never ends before its deadline.
void PauseOneSecond(Clock& clock) {
  const auto deadline = clock.Now() + std::chrono::seconds(1);
  for (auto now = clock.Now(); now < deadline; now = clock.Now()) {
    clock.Sleep(std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
  }
}

}  // namespace

int64_t UnixMillisecondsFromSystemTime(uint64_t system_time) {
  return static_cast<int64_t>(system_time / 10000) -
         kUnixEpochInSystemMilliseconds;
}

void RunMonitor(const std::shared_ptr<ConnectionContext>& context,
                uint64_t monitor) {
  const OutsideWorld& world = context->world();
  const auto started = world.clock->Now();
  bool traffic_seen = false;

  // Each poll either reports and pauses, or reports the end and finishes.
  // Asked before the service is: a status is sent under the request that
  // was the user's last before the state it reports was read, so that one
  // read before a "disconnect" never arrives after it.
  while (const std::optional<uint64_t> request = context->BeginPoll(monitor)) {
    uint32_t exit_code = 0;
    const TunnelServiceState state = world.service->State(&exit_code);
    if (state == TunnelServiceState::Running) {
      if (!traffic_seen && world.counters->TunnelReceivedBytes() == 0) {
        if (world.clock->Now() - started > kHandshakeAllowance &&
            context->AskToStopSilentTunnel(monitor, *request)) {
          return;  // the worker stops it and reports
        }
        context->SendStatusOfRequest(kStatusConnecting, *request);
      } else {
        if (!traffic_seen) {
          context->SetConnectedSince(monitor, UnixMillisecondsFromSystemTime(
                                                  world.clock->SystemTime()));
          traffic_seen = true;
        }
        context->SendStatusOfRequest(kStatusConnected, *request);
      }
    } else if (state == TunnelServiceState::Starting) {
      context->SendStatusOfRequest(kStatusConnecting, *request);
    } else {
      context->EndMonitor(monitor);
      context->SendStatusOfRequest(exit_code != 0
                                       ? ServiceStoppedStatus(exit_code)
                                       : std::string(kStatusDisconnected),
                                   *request);
      return;
    }
    PauseOneSecond(*world.clock);
  }
}

}  // namespace velk
