#include "tests/support/report_capture.h"

#include <iostream>

namespace velk::test {

ReportCapture::ReportCapture() : saved_(std::cerr.rdbuf(captured_.rdbuf())) {}

ReportCapture::~ReportCapture() { std::cerr.rdbuf(saved_); }

std::vector<std::string> ReportCapture::Lines() const {
  std::vector<std::string> lines;
  std::istringstream text(captured_.str());
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}

}  // namespace velk::test
