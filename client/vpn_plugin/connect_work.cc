#include "client/vpn_plugin/connect_work.h"

#include <chrono>
#include <optional>
#include <string>
#include <utility>

#include "client/vpn_plugin/status_strings.h"

namespace velk {
namespace {

// A start-pending service refuses the stop control, and a service that the
// work before has just started may still be starting.
constexpr std::chrono::milliseconds kStartingPollInterval(100);
constexpr int kStartingPollLimit = 100;

// The direct route needs no elevation: the service is installed for this
// client and the user may rewrite the stored file and start the service.
bool StartDirectly(const OutsideWorld& world, const std::string& config_text) {
  const std::wstring config_path = world.configuration->Path();
  return world.service->Exists() && world.service->IsCurrent(config_path) &&
         world.configuration->Write(config_text) && world.service->Start();
}

void Connect(ConnectionContext& context, ServiceWork& work) {
  const OutsideWorld& world = context.world();
  bool running = false;
  // A request that came while this one waited decides instead; so it does
  // before the prompt, which the user would otherwise see for nothing.
  if (context.IsLatestRequest(work.request)) {
    if (world.service->Exists()) world.service->StopAndWait();
    running = StartDirectly(world, work.config_text) ||
              (context.IsLatestRequest(work.request) &&
               world.elevated_setup->Run(work.config_text));
  }
  context.FinishConnect(work.request, running);
  // After the statuses that FinishConnect may have sent.
  context.RunOnPlatformThread(
      [result = std::move(work.result)] { result->Success(); });
}

void StopAfterWork(const OutsideWorld& world) {
  for (int polls = 0;
       polls < kStartingPollLimit &&
       world.service->State(nullptr) == TunnelServiceState::Starting;
       ++polls) {
    world.clock->Sleep(kStartingPollInterval);
  }
  world.service->StopAndWait();
}

// Only while the monitor that asked is current: no connect has been asked
// for since it started, so the service is still the one its connection
// started. A newer connect stops that service itself.
void StopSilentTunnel(ConnectionContext& context, const ServiceWork& work) {
  if (!context.IsCurrentMonitor(work.monitor)) return;
  // Stopped before the error is reported, so that no idle tunnel stays up
  // behind the message.
  context.world().service->StopAndWait();
  context.EndMonitor(work.monitor);
  context.SendStatusOfRequest(kStatusNoHandshake, work.request);
}

}  // namespace

void RunConnectionWorker(const std::shared_ptr<ConnectionContext>& context) {
  while (std::optional<ServiceWork> work = context->TakeWork()) {
    switch (work->kind) {
      case ServiceWork::Kind::kConnect:
        Connect(*context, *work);
        break;
      case ServiceWork::Kind::kStop:
        StopAfterWork(context->world());
        break;
      case ServiceWork::Kind::kStopSilentTunnel:
        StopSilentTunnel(*context, *work);
        break;
    }
  }
}

}  // namespace velk
