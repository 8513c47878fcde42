// The demonstration interface's transcript: one line per message and script
// step, appended to a file and flushed as it happens (the format is
// described in docs/demo-script.md).

#ifndef STAND_INS_EMBEDDER_TRANSCRIPT_H_
#define STAND_INS_EMBEDDER_TRANSCRIPT_H_

#include <chrono>
#include <string>
#include <vector>

#include "common/thread_annotations.h"
#include "win/scoped_handle.h"

namespace velk::embedder {

class Transcript {
 public:
  // Times are written in milliseconds since `zero`.
  explicit Transcript(std::chrono::steady_clock::time_point zero);

  // Opens (or creates) the file for appending; the path is UTF-8. Without a
  // file every write is dropped.
  bool Open(const std::string& path);

  // The run's header: the marker line and the entry-point arguments.
  void WriteHeader(const std::vector<std::string>& arguments);

  // One entry, "T " and then `text`. Any thread.
  void Write(const std::string& text);

 private:
  void WriteRaw(const std::string& line) EXCLUDES(mutex_);

  const std::chrono::steady_clock::time_point zero_;
  Mutex mutex_;  // keeps lines whole when threads write at once
  velk::ScopedKernelHandle file_ GUARDED_BY(mutex_);
};

}  // namespace velk::embedder

#endif  // STAND_INS_EMBEDDER_TRANSCRIPT_H_
