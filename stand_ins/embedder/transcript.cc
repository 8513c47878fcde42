#include "stand_ins/embedder/transcript.h"

#include <windows.h>

#include "stand_ins/embedder/ui_codec.h"
#include "win/text.h"

namespace velk::embedder {

Transcript::Transcript(std::chrono::steady_clock::time_point zero)
    : zero_(zero) {}

bool Transcript::Open(const std::string& path) {
  std::wstring wide_path = velk::Utf8ToUtf16(path);
  if (wide_path.empty()) return false;
  // Append-only access makes every write land at the end, also when another
  // run appends to the same file; the OS has each line once WriteFile returns.
  MutexLock guard(mutex_);
  file_.reset(CreateFileW(wide_path.c_str(), FILE_APPEND_DATA,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file_.is_valid();
}

void Transcript::WriteHeader(const std::vector<std::string>& arguments) {
  WriteRaw(
      "transcript of the stand-in demonstration interface (not the real "
      "one)");
  WriteRaw("args " + std::to_string(arguments.size()));
  for (size_t i = 0; i < arguments.size(); ++i) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(arguments[i].data());
    WriteRaw("arg " + std::to_string(i) + " " +
             HexBytes(bytes, arguments[i].size()) + " # " +
             QuoteString(arguments[i]));
  }
}

void Transcript::Write(const std::string& text) {
  auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - zero_);
  WriteRaw(std::to_string(elapsed.count()) + " " + text);
}

void Transcript::WriteRaw(const std::string& line) {
  MutexLock guard(mutex_);
  if (!file_) return;
  std::string bytes = line + "\n";
  DWORD written = 0;
  // A transcript that cannot be written must not stop the interface: the
  // test that reads it finds the line missing.
  (void)WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                  &written, nullptr);
}

}  // namespace velk::embedder
