#include "client/vpn_plugin/vpn_plugin.h"

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

#include "channels/encodable_value.h"
#include "channels/standard_method_codec.h"
#include "channels/stream_handler_functions.h"
#include "client/provisioning/tunnel_config.h"
#include "client/vpn_plugin/status_strings.h"
#include "interfaces/vpn_channels.h"

namespace velk {
namespace {

using flutter::EncodableValue;
using flutter::EncodableValueMap;

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
  const auto entry = arguments.find(EncodableValue(vpn_channels::kMtuKey));
  if (entry == arguments.end()) return vpn_channels::kDefaultMtu;
  if (const auto* value = std::get_if<int32_t>(&entry->second)) return *value;
  if (const auto* value = std::get_if<int64_t>(&entry->second)) {
    return static_cast<int32_t>(static_cast<uint32_t>(*value));
  }
  return vpn_channels::kDefaultMtu;
}

}  // namespace

VpnPlugin::VpnPlugin(flutter::BinaryMessenger* messenger, HWND window,
                     OutsideWorld world)
    : context_(std::make_shared<ConnectionContext>(window, std::move(world))) {
  const flutter::MethodCodec* codec =
      &flutter::StandardMethodCodec::ForSerializer(nullptr);

  control_channel_ = std::make_unique<flutter::MethodChannel>(
      messenger, vpn_channels::kControlChannel, codec);
  control_channel_->SetCallHandler(
      [this](const flutter::MethodCall& call,
             std::unique_ptr<flutter::MethodResult> result) {
        HandleMethodCall(call, std::move(result));
      });

  // Listening sends nothing: the interface asks "getStatus" for the state.
  // The handlers hold the context, not the plug-in: the messenger keeps them.
  status_channel_ = std::make_unique<flutter::EventChannel>(
      messenger, vpn_channels::kStatusChannel, codec);
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
  CHECK_CALLED_ON_VALID_THREAD(platform_thread_);
  // A monitor ends at the check after its current poll; the worker finishes
  // the work under way and takes no more.
  context_->Detach();
  status_channel_.reset();
  control_channel_.reset();
}

void VpnPlugin::HandleMethodCall(
    const flutter::MethodCall& call,
    std::unique_ptr<flutter::MethodResult> result) {
  CHECK_CALLED_ON_VALID_THREAD(platform_thread_);
  const std::string& method = call.method_name();
  if (method == vpn_channels::kConnect) {
    Connect(call, std::move(result));
  } else if (method == vpn_channels::kDisconnect) {
    context_->AskToDisconnect(std::move(result));
  } else if (method == vpn_channels::kGetStatus) {
    result->Success(EncodableValue(context_->CurrentStatus()));
  } else if (method == vpn_channels::kGetConnectedSince) {
    const int64_t connected_since = context_->ConnectedSince();
    if (connected_since != 0) {
      result->Success(EncodableValue(connected_since));
    } else {
      result->Success();
    }
  } else {
    result->NotImplemented();
  }
}

void VpnPlugin::Connect(const flutter::MethodCall& call,
                        std::unique_ptr<flutter::MethodResult> result) {
  const auto* arguments = call.arguments() != nullptr
                              ? std::get_if<EncodableValueMap>(call.arguments())
                              : nullptr;
  if (arguments == nullptr) {
    result->Error(vpn_channels::kBadArgumentsCode,
                  vpn_channels::kBadArgumentsMessage);
    return;
  }
  // Built here, before any request is made of it: a text that does not
  // build changes nothing, neither the service nor the work under way nor
  // the connection being watched.
  std::string config_text;
  std::string message;
  if (!BuildTunnelConfig(StringArgument(*arguments, vpn_channels::kSettingsKey),
                         StringArgument(*arguments, vpn_channels::kAddressKey),
                         StringArgument(*arguments, vpn_channels::kDnsKey),
                         MtuArgument(*arguments), &config_text, &message)) {
    context_->SendStatus(kStatusConnecting);
    context_->SendStatus(kStatusErrorPrefix + message);
    result->Success();
    return;
  }
  context_->AskToConnect(std::move(config_text), std::move(result));
}

}  // namespace velk
