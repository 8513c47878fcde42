#ifndef TESTS_SUPPORT_UI_TRANSCRIPT_H_
#define TESTS_SUPPORT_UI_TRANSCRIPT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The transcript that the stand-in interface writes with --ui-transcript=,
// read back: what crossed the two channels of the last run in the file, as
// bytes, and how the script went. Statuses are decoded here with a reader of
// our own, so a test checks the client's bytes, not the stand-in's reading
// of them.
namespace velk::test {

struct UiEntry {
  int64_t time_ms = 0;  // since the engine was created
  std::string kind;     // to_client, reply_from_client, from_client, ...
  std::string channel;  // for messages
  std::string bytes;    // for messages: the raw bytes
  std::string method;   // for calls and replies
  std::string text;     // the whole line without its time
};

class UiTranscript {
 public:
  // Reads the last run of a transcript; false when there is none.
  bool Parse(const std::string& text);

  // The run's header: its marker line, "args N" and an "arg" line each.
  const std::vector<std::string>& header() const { return header_; }
  // The entry-point arguments of the header's "arg" lines, decoded; an
  // argument whose bytes do not decode appears as "<undecodable>".
  std::vector<std::string> Arguments() const;
  const std::vector<UiEntry>& entries() const { return entries_; }
  // The entries' texts, in order.
  std::vector<std::string> Texts() const;
  // No entry's time is earlier than the one before it.
  bool TimesInOrder() const { return times_in_order_; }

  // The status events, in order, as the strings they carry; an event that
  // is not a success envelope with a string appears as "<undecodable HEX>".
  std::vector<std::string> Statuses() const;
  // The same with the time each arrived; with `after_call`, only those that
  // follow the first call of that method in the file, whose order keeps
  // apart what happened within one millisecond.
  std::vector<std::pair<int64_t, std::string>> TimedStatuses(
      const std::string& after_call = std::string()) const;

  // The reply bytes to every call of `method`, in the order they arrived.
  std::vector<std::string> Replies(const std::string& method) const;

  // When the call of `method` number `index` (from 0) was sent; -1 if never.
  int64_t CallTime(const std::string& method, size_t index = 0) const;

  bool ScriptDone() const;
  // The FAIL lines of the script, if any.
  std::vector<std::string> Failures() const;

 private:
  std::vector<std::string> header_;
  std::vector<UiEntry> entries_;
  bool times_in_order_ = true;
};

// Reads the transcript file at `path` (UTF-8); false when it cannot be read
// or holds no run.
bool ReadUiTranscript(const std::string& path, UiTranscript* transcript);

// The string of a success envelope of the standard method codec holding a
// string value: 0x00, type 7, the size, the UTF-8 bytes.
std::optional<std::string> DecodeStringSuccess(const std::string& bytes);

// The value of a success envelope holding a 64-bit integer (type 4).
std::optional<int64_t> DecodeInt64Success(const std::string& bytes);

}  // namespace velk::test

#endif  // TESTS_SUPPORT_UI_TRANSCRIPT_H_
