#include "client/vpn_plugin/connect_work.h"

#include <mutex>
#include <utility>

#include "client/provisioning/tunnel_config.h"
#include "client/vpn_plugin/status_strings.h"
#include "win/whole_file.h"

namespace velk {
namespace {

// The service and its stored configuration are one per machine, but
// "connect" calls may overlap. Unserialised, their stop-write-start sections
// interleave: one call's stop can land after the other's start (which then
// reported success for a service that ends up stopped), the running service
// can hold one text while the file holds the other, and the second writer's
// open fails on the first one's unshared handle and sends it to the
// elevation prompt. Only that section is serialised: each call still sends
// its own statuses and answers on its own, and the last section to run
// decides the configuration.
std::mutex& ServiceSetupMutex() {
  static std::mutex mutex;
  return mutex;
}

// The direct route needs no elevation: the service is installed for this
// client and the user may rewrite the stored file and start the service.
bool StartDirectly(const ConnectionOperations& operations,
                   const std::wstring& config_path,
                   const std::string& config_text) {
  return operations.service_exists() &&
         operations.service_is_current(config_path) &&
         WriteWholeFile(config_path, config_text) && operations.start_service();
}

bool GetServiceRunning(const ConnectionOperations& operations,
                       const std::string& config_text) {
  std::lock_guard<std::mutex> lock(ServiceSetupMutex());
  const std::wstring config_path = operations.config_path();
  if (operations.service_exists()) operations.stop_service_and_wait();
  return StartDirectly(operations, config_path, config_text) ||
         operations.run_elevated_setup(config_text);
}

void PostReply(ConnectionContext& context,
               std::shared_ptr<flutter::MethodResult> result) {
  context.RunOnPlatformThread(
      [result = std::move(result)] { result->Success(); });
}

}  // namespace

void RunConnect(ConnectRequest request) {
  ConnectionContext& context = *request.context;
  context.SendStatus(kStatusConnecting);

  std::string config_text;
  std::string message;
  if (!BuildTunnelConfig(request.settings, request.address, request.dns,
                         request.mtu, &config_text, &message)) {
    context.SendStatus(kStatusErrorPrefix + message);
    PostReply(context, std::move(request.result));
    return;
  }

  if (GetServiceRunning(context.operations(), config_text)) {
    // Without a thread to spare nothing watches the tunnel yet; the next
    // "getStatus" tries again.
    (void)context.StartMonitorAfterConnect();
  } else {
    context.SendStatus(kStatusServiceSetupFailed);
  }
  PostReply(context, std::move(request.result));
}

}  // namespace velk
