#include "stand_ins/embedder/ui_channels.h"

#include <utility>

#include "stand_ins/embedder/embedder_testing.h"

namespace velk::embedder {
UiChannels::UiChannels(FlutterDesktopEngine* engine, Transcript* transcript,
                       HWND window, UINT arrival_message)
    : engine_(engine),
      transcript_(transcript),
      arrival_message_(arrival_message),
      window_(window) {}

UiChannels::~UiChannels() = default;

int UiChannels::Send(const char* channel, const std::string& method,
                     const UiValue& argument) {
  auto open = std::make_unique<OpenCall>();
  open->owner = this;
  open->call.id = ++last_call_id_;
  open->call.channel = channel;
  open->call.method = method;
  std::vector<uint8_t> bytes = EncodeMethodCall(method, argument);
  transcript_->Write("to_client " + std::string(channel) + " " +
                     HexBytes(bytes.data(), bytes.size()) + " # call " +
                     std::to_string(open->call.id) + " " + method + " " +
                     FormatValue(argument));
  OpenCall* record = open.get();
  open_calls_.emplace(record->call.id, std::move(open));
  // The client's handler runs right here and may answer before this returns;
  // the answer still reaches the listener only through the window's queue.
  // Without a handler for the channel the embedder answers with no bytes.
  (void)VelkEmbedderDeliverMessage(engine_, channel, bytes.data(), bytes.size(),
                                   &UiChannels::OnResponse, record);
  return record->call.id;
}

void UiChannels::OnResponse(const uint8_t* data, size_t size, void* user_data) {
  const OpenCall* record = static_cast<const OpenCall*>(user_data);
  UiChannels* self = record->owner;
  UiEnvelope reply = DecodeEnvelope(data, size);
  self->transcript_->Write(
      "reply_from_client " + record->call.channel + " " + HexBytes(data, size) +
      " # reply " + std::to_string(record->call.id) + " " +
      record->call.method + " " + DescribeEnvelope(reply, /*as_event=*/false));
  Arrival arrival;
  arrival.call_id = record->call.id;
  if (size > 0) arrival.bytes.assign(data, data + size);
  self->Queue(std::move(arrival));
}

void UiChannels::OnMessageFromClient(const char* channel, const uint8_t* data,
                                     size_t size, bool expects_reply) {
  UiEnvelope message = DecodeEnvelope(data, size);
  transcript_->Write("from_client " + std::string(channel) + " " +
                     HexBytes(data, size) + " # " +
                     DescribeEnvelope(message, /*as_event=*/true) +
                     (expects_reply ? " (expects reply)" : ""));
  // Only status events concern the interface; everything else is recorded.
  if (std::string(channel) != vpn_channels::kStatusChannel) return;
  Arrival arrival;
  if (size > 0) arrival.bytes.assign(data, data + size);
  Queue(std::move(arrival));
}

void UiChannels::Queue(Arrival arrival) {
  MutexLock guard(arrivals_mutex_);
  arrivals_.push_back(std::move(arrival));
  if (arrival_posted_ || window_ == nullptr) return;
  arrival_posted_ = PostMessageW(window_, arrival_message_, 0, 0) != FALSE;
}

void UiChannels::StopPosting() {
  MutexLock guard(arrivals_mutex_);
  window_ = nullptr;
}

void UiChannels::DeliverArrivals() {
  std::vector<Arrival> arrivals;
  {
    MutexLock guard(arrivals_mutex_);
    arrivals.swap(arrivals_);
    arrival_posted_ = false;
  }
  for (const Arrival& arrival : arrivals) {
    UiEnvelope envelope =
        DecodeEnvelope(arrival.bytes.data(), arrival.bytes.size());
    if (arrival.call_id == 0) {
      const std::string* status = envelope.value.AsString();
      if (envelope.kind != UiEnvelope::Kind::kSuccess || status == nullptr) {
        continue;  // not a status; the transcript shows what it was
      }
      statuses_.push_back(*status);
      if (listener_ != nullptr) listener_->OnStatusEvent(*status);
      continue;
    }
    auto found = open_calls_.find(arrival.call_id);
    if (found == open_calls_.end()) continue;
    std::unique_ptr<OpenCall> open = std::move(found->second);
    open_calls_.erase(found);
    if (listener_ != nullptr) listener_->OnReply(open->call, envelope);
  }
}

}  // namespace velk::embedder
