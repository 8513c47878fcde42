#include "client/vpn_plugin/vpn_plugin.h"

#include <cstdint>
#include <system_error>
#include <thread>
#include <utility>
#include <variant>

#include "channels/encodable_value.h"
#include "channels/standard_method_codec.h"
#include "channels/stream_handler_functions.h"
#include "client/vpn_plugin/connect_work.h"
#include "client/vpn_plugin/status_strings.h"

namespace velk {
namespace {

using flutter::EncodableValue;
using flutter::EncodableValueMap;

constexpr int32_t kDefaultMtu = 1350;

// A missing key and a value of another type read alike.
std::string StringArgument(const EncodableValueMap& arguments,
                           const char* key) {
  const auto entry = arguments.find(EncodableValue(key));
  if (entry == arguments.end()) return std::string();
  const auto* text = std::get_if<std::string>(&entry->second);
  return text != nullptr ? *text : std::string();
}

// The codec keeps small numbers as 32-bit values and large ones as 64-bit
// values; a 64-bit MTU counts by its low 32 bits.
int32_t MtuArgument(const EncodableValueMap& arguments) {
  const auto entry = arguments.find(EncodableValue("mtu"));
  if (entry == arguments.end()) return kDefaultMtu;
  if (const auto* value = std::get_if<int32_t>(&entry->second)) return *value;
  if (const auto* value = std::get_if<int64_t>(&entry->second)) {
    return static_cast<int32_t>(static_cast<uint32_t>(*value));
  }
  return kDefaultMtu;
}

}  // namespace

VpnPlugin::VpnPlugin(flutter::BinaryMessenger* messenger, HWND window)
    : VpnPlugin(messenger, window, SystemConnectionOperations()) {}

VpnPlugin::VpnPlugin(flutter::BinaryMessenger* messenger, HWND window,
                     ConnectionOperations operations)
    : context_(
          std::make_shared<ConnectionContext>(window, std::move(operations))) {
  const flutter::MethodCodec* codec =
      &flutter::StandardMethodCodec::ForSerializer(nullptr);

  control_channel_ = std::make_unique<flutter::MethodChannel>(
      messenger, kControlChannelName, codec);
  control_channel_->SetCallHandler(
      [this](const flutter::MethodCall& call,
             std::unique_ptr<flutter::MethodResult> result) {
        HandleMethodCall(call, std::move(result));
      });

  // Listening sends nothing: the interface asks "getStatus" for the state.
  // The handlers hold the context, not the plug-in: the messenger keeps them.
  status_channel_ = std::make_unique<flutter::EventChannel>(
      messenger, kStatusChannelName, codec);
  std::weak_ptr<ConnectionContext> context = context_;
  status_channel_->AttachStreamHandler(
      std::make_unique<flutter::StreamHandlerFunctions>(
          [context](const EncodableValue*,
                    std::unique_ptr<flutter::EventSink>&& events)
              -> std::unique_ptr<flutter::StreamHandlerError> {
            if (auto shared = context.lock()) {
              shared->SetEventSink(std::move(events));
            }
            return nullptr;
          },
          [context](const EncodableValue*)
              -> std::unique_ptr<flutter::StreamHandlerError> {
            if (auto shared = context.lock()) shared->SetEventSink(nullptr);
            return nullptr;
          }));
}

VpnPlugin::~VpnPlugin() {
  context_->Detach();
  // A monitor ends at the check after its current poll.
  context_->monitoring().exchange(false);
  status_channel_.reset();
  control_channel_.reset();
}

void VpnPlugin::HandleMethodCall(
    const flutter::MethodCall& call,
    std::unique_ptr<flutter::MethodResult> result) {
  const std::string& method = call.method_name();
  if (method == "connect") {
    Connect(call, std::move(result));
  } else if (method == "disconnect") {
    Disconnect(std::move(result));
  } else if (method == "getStatus") {
    GetStatus(std::move(result));
  } else if (method == "getConnectedSince") {
    const int64_t connected_since = context_->connected_since().load();
    if (connected_since != 0) {
      result->Success(EncodableValue(connected_since));
    } else {
      result->Success();
    }
  } else {
    result->NotImplemented();
  }
}

void VpnPlugin::SendStatus(const std::string& status) {
  context_->SendStatus(status);
}

void VpnPlugin::RunOnPlatformThread(PlatformTask task) {
  context_->RunOnPlatformThread(std::move(task));
}

void VpnPlugin::StartMonitor() { (void)context_->StartMonitor(); }

void VpnPlugin::Connect(const flutter::MethodCall& call,
                        std::unique_ptr<flutter::MethodResult> result) {
  const auto* arguments = call.arguments() != nullptr
                              ? std::get_if<EncodableValueMap>(call.arguments())
                              : nullptr;
  if (arguments == nullptr) {
    result->Error("bad_args", "Expected a map argument");
    return;
  }
  ConnectRequest request;
  request.context = context_;
  request.settings = StringArgument(*arguments, "settings");
  request.address = StringArgument(*arguments, "address");
  request.dns = StringArgument(*arguments, "dns");
  request.mtu = MtuArgument(*arguments);
  request.result = std::shared_ptr<flutter::MethodResult>(std::move(result));
  // Kept for the failure path: the thread's copy is gone with the exception.
  std::shared_ptr<flutter::MethodResult> reply = request.result;
  try {
    std::thread(RunConnect, std::move(request)).detach();
  } catch (const std::system_error&) {
    // "connect" always answers; without a worker the attempt failed at once.
    context_->SendStatus(kStatusServiceSetupFailed);
    reply->Success();
  }
}

void VpnPlugin::Disconnect(std::unique_ptr<flutter::MethodResult> result) {
  // No wait: a running monitor reports the stop when it sees it.
  (void)context_->operations().stop_service();
  context_->connected_since().exchange(0);
  context_->SendStatus(kStatusDisconnected);
  result->Success();
}

void VpnPlugin::GetStatus(std::unique_ptr<flutter::MethodResult> result) {
  const TunnelServiceState state =
      context_->operations().query_service_state(nullptr);
  std::string status = kStatusDisconnected;
  if (state == TunnelServiceState::Running &&
      context_->operations().received_bytes() != 0) {
    status = kStatusConnected;
    StartMonitor();
  } else if (state != TunnelServiceState::Stopped) {
    status = kStatusConnecting;
    StartMonitor();
  }
  result->Success(EncodableValue(status));
}

}  // namespace velk
