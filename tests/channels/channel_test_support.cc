#include "tests/channels/channel_test_support.h"

#include <gtest/gtest.h>

namespace velk_test {

Bytes Hex(const std::string& hex) {
  Bytes bytes;
  std::string digits;
  for (char c : hex) {
    if (c == ' ') continue;
    digits.push_back(c);
    if (digits.size() == 2) {
      bytes.push_back(static_cast<uint8_t>(std::stoul(digits, nullptr, 16)));
      digits.clear();
    }
  }
  EXPECT_TRUE(digits.empty()) << "odd number of hex digits in " << hex;
  return bytes;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes operator+(Bytes lhs, const Bytes& rhs) {
  lhs.insert(lhs.end(), rhs.begin(), rhs.end());
  return lhs;
}

flutter::EngineProject TestProject() {
  flutter::EngineProject project;
  project.assets_path = L"data\\flutter_assets";
  project.icu_data_path = L"data\\icudtl.dat";
  project.aot_library_path = L"data\\app.so";
  return project;
}

ReportCapture::ReportCapture() : saved_(std::cerr.rdbuf(captured_.rdbuf())) {}

ReportCapture::~ReportCapture() { std::cerr.rdbuf(saved_); }

std::vector<std::string> ReportCapture::Lines() const {
  std::vector<std::string> lines;
  std::istringstream text(captured_.str());
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}

void ResponseLog::Record(const uint8_t* data, size_t size, void* user_data) {
  auto* log = static_cast<ResponseLog*>(user_data);
  std::lock_guard<std::mutex> guard(log->mutex_);
  log->responses_.emplace_back(data, data + size);
}

size_t ResponseLog::Count() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return responses_.size();
}

std::vector<Bytes> ResponseLog::All() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return responses_;
}

Bytes ResponseLog::Only() const {
  std::lock_guard<std::mutex> guard(mutex_);
  EXPECT_EQ(responses_.size(), 1u);
  return responses_.empty() ? Bytes() : responses_.front();
}

OutgoingLog::OutgoingLog(FlutterDesktopEngineRef engine) : engine_(engine) {
  VelkEmbedderSetOutgoingObserver(engine_, &Record, this);
}

OutgoingLog::~OutgoingLog() {
  VelkEmbedderSetOutgoingObserver(engine_, nullptr, nullptr);
}

void OutgoingLog::Record(const char* channel, const uint8_t* data, size_t size,
                         bool expects_reply, void* user_data) {
  auto* log = static_cast<OutgoingLog*>(user_data);
  log->messages_.push_back({channel, Bytes(data, data + size), expects_reply});
}

bool Deliver(flutter::FlutterEngine& engine, const std::string& channel,
             const Bytes& message, ResponseLog* responses) {
  return VelkEmbedderDeliverMessage(engine.engine(), channel.c_str(),
                                    message.data(), message.size(),
                                    &ResponseLog::Record, responses);
}

}  // namespace velk_test
