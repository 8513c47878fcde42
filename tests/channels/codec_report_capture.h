#ifndef TESTS_CHANNELS_CODEC_REPORT_CAPTURE_H_
#define TESTS_CHANNELS_CODEC_REPORT_CAPTURE_H_

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace velk_test {

// Collects what the channel layer reports on std::cerr while it lives.
class ReportCapture {
 public:
  ReportCapture() : saved_(std::cerr.rdbuf(captured_.rdbuf())) {}
  ~ReportCapture() { std::cerr.rdbuf(saved_); }
  ReportCapture(const ReportCapture&) = delete;
  ReportCapture& operator=(const ReportCapture&) = delete;

  // The reported lines, without their line ends.
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::istringstream text(captured_.str());
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }

 private:
  std::ostringstream captured_;
  std::streambuf* saved_;
};

}  // namespace velk_test

#endif  // TESTS_CHANNELS_CODEC_REPORT_CAPTURE_H_
