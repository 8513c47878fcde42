#include "tests/support/ui_transcript.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include "interfaces/vpn_channels.h"
#include "tests/support/hex.h"

namespace velk::test {
namespace {

constexpr char kRunHeader[] =
    "transcript of the stand-in demonstration interface";
using vpn_channels::kControlChannel;
using vpn_channels::kStatusChannel;

std::vector<std::string> Words(const std::string& line) {
  std::istringstream stream(line);
  std::vector<std::string> words;
  std::string word;
  while (stream >> word) words.push_back(word);
  return words;
}

// A message entry: "T KIND CHANNEL HEX # ...", where the comment of calls
// and replies goes on with "call ID METHOD" or "reply ID METHOD".
bool ParseMessage(const std::vector<std::string>& words, UiEntry* entry) {
  if (words.size() < 4) return false;
  entry->channel = words[2];
  std::optional<std::string> bytes = FromHex(words[3]);
  if (!bytes) return false;
  entry->bytes = *bytes;
  if (words.size() >= 8 && words[4] == "#" &&
      (words[5] == "call" || words[5] == "reply")) {
    entry->method = words[7];
  }
  return true;
}

}  // namespace

std::optional<std::string> DecodeStringSuccess(const std::string& bytes) {
  const auto byte = [&](size_t i) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i]));
  };
  if (bytes.size() < 3 || byte(0) != 0x00 || byte(1) != 0x07) {
    return std::nullopt;
  }
  size_t size = byte(2);
  size_t start = 3;
  if (size == 254) {
    if (bytes.size() < 5) return std::nullopt;
    size = byte(3) | byte(4) << 8;
    start = 5;
  } else if (size == 255) {
    if (bytes.size() < 7) return std::nullopt;
    size = byte(3) | byte(4) << 8 | byte(5) << 16 | byte(6) << 24;
    start = 7;
  }
  if (bytes.size() - start != size) return std::nullopt;
  return bytes.substr(start);
}

std::optional<int64_t> DecodeInt64Success(const std::string& bytes) {
  if (bytes.size() != 10 || bytes[0] != 0x00 || bytes[1] != 0x04) {
    return std::nullopt;
  }
  uint64_t value = 0;
  for (int i = 9; i >= 2; --i) {
    value = value << 8 | static_cast<unsigned char>(bytes[i]);
  }
  return static_cast<int64_t>(value);
}

bool UiTranscript::Parse(const std::string& text) {
  const size_t run = text.rfind(kRunHeader);
  if (run == std::string::npos) return false;
  header_.clear();
  entries_.clear();
  times_in_order_ = true;
  std::istringstream lines(text.substr(run));
  std::string line;
  while (std::getline(lines, line)) {
    const std::vector<std::string> words = Words(line);
    if (words.size() < 2 ||
        words[0].find_first_not_of("0123456789") != std::string::npos) {
      header_.push_back(line);  // the marker, "args" and "arg" lines
      continue;
    }
    UiEntry entry;
    entry.time_ms = std::stoll(words[0]);
    if (!entries_.empty() && entry.time_ms < entries_.back().time_ms) {
      times_in_order_ = false;
    }
    entry.kind = words[1];
    entry.text = line.substr(line.find(' ') + 1);
    if (entry.kind == "to_client" || entry.kind == "reply_from_client" ||
        entry.kind == "from_client") {
      if (!ParseMessage(words, &entry)) return false;
    }
    entries_.push_back(entry);
  }
  return true;
}

std::vector<std::pair<int64_t, std::string>> UiTranscript::TimedStatuses(
    const std::string& after_call) const {
  std::vector<std::pair<int64_t, std::string>> statuses;
  bool called = after_call.empty();
  for (const UiEntry& entry : entries_) {
    if (!called) {
      called = entry.kind == "to_client" && entry.channel == kControlChannel &&
               entry.method == after_call;
      continue;
    }
    if (entry.kind != "from_client" || entry.channel != kStatusChannel) {
      continue;
    }
    std::optional<std::string> status = DecodeStringSuccess(entry.bytes);
    statuses.emplace_back(
        entry.time_ms,
        status ? *status : "<undecodable " + ToHex(entry.bytes) + ">");
  }
  return statuses;
}

std::vector<std::string> UiTranscript::Statuses() const {
  std::vector<std::string> statuses;
  for (const auto& [time_ms, status] : TimedStatuses()) {
    statuses.push_back(status);
  }
  return statuses;
}

std::vector<std::string> UiTranscript::Replies(
    const std::string& method) const {
  std::vector<std::string> replies;
  for (const UiEntry& entry : entries_) {
    if (entry.kind == "reply_from_client" && entry.channel == kControlChannel &&
        entry.method == method) {
      replies.push_back(entry.bytes);
    }
  }
  return replies;
}

int64_t UiTranscript::CallTime(const std::string& method, size_t index) const {
  for (const UiEntry& entry : entries_) {
    if (entry.kind == "to_client" && entry.channel == kControlChannel &&
        entry.method == method && index-- == 0) {
      return entry.time_ms;
    }
  }
  return -1;
}

std::vector<std::string> UiTranscript::Arguments() const {
  std::vector<std::string> arguments;
  for (const std::string& line : header_) {
    const std::vector<std::string> words = Words(line);
    if (words.size() < 3 || words[0] != "arg") continue;
    arguments.push_back(FromHex(words[2]).value_or("<undecodable>"));
  }
  return arguments;
}

std::vector<std::string> UiTranscript::Texts() const {
  std::vector<std::string> texts;
  for (const UiEntry& entry : entries_) texts.push_back(entry.text);
  return texts;
}

bool UiTranscript::ScriptDone() const {
  for (const UiEntry& entry : entries_) {
    if (entry.text == "script done") return true;
  }
  return false;
}

std::vector<std::string> UiTranscript::Failures() const {
  std::vector<std::string> failures;
  for (const UiEntry& entry : entries_) {
    if (entry.kind == "FAIL") failures.push_back(entry.text);
  }
  return failures;
}

bool ReadUiTranscript(const std::string& path, UiTranscript* transcript) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  return transcript->Parse(
      std::string(std::istreambuf_iterator<char>(file), {}));
}

}  // namespace velk::test
