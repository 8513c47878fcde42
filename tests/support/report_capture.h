// What the code under test writes on the standard error stream, caught.

#ifndef TESTS_SUPPORT_REPORT_CAPTURE_H_
#define TESTS_SUPPORT_REPORT_CAPTURE_H_

#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace velk::test {

// Collects what is written on std::cerr while it lives. Single-threaded
// writers only: the stream buffer it installs is not synchronised.
class ReportCapture {
 public:
  ReportCapture();
  ~ReportCapture();
  ReportCapture(const ReportCapture&) = delete;
  ReportCapture& operator=(const ReportCapture&) = delete;

  // The written lines, without their line ends.
  std::vector<std::string> Lines() const;
  std::string Text() const { return captured_.str(); }

 private:
  std::ostringstream captured_;
  std::streambuf* saved_;
};

}  // namespace velk::test

#endif  // TESTS_SUPPORT_REPORT_CAPTURE_H_
