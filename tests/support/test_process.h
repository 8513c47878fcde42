// Running another program from a test and reading how it ended.

#ifndef TESTS_SUPPORT_TEST_PROCESS_H_
#define TESTS_SUPPORT_TEST_PROCESS_H_

#include <windows.h>

#include <string>

#include "win/scoped_handle.h"

namespace velk::test {

// What RunProgram and TestProcess::Wait answer for a program that could not
// be started or did not end in time.
inline constexpr int kProgramNotRun = -1;

// A program that a test started. One still running when this goes is
// ended, so that no test leaves one behind.
class TestProcess {
 public:
  TestProcess() = default;
  ~TestProcess();

  TestProcess(const TestProcess&) = delete;
  TestProcess& operator=(const TestProcess&) = delete;

  // Starts `program` with `arguments` after its quoted path, in `folder`
  // (this process's current folder when empty); false when it did not start.
  bool Start(const std::wstring& program, const std::wstring& arguments,
             const std::wstring& folder = std::wstring());

  // Waits at most `timeout_ms` for it to end: its exit code, or
  // kProgramNotRun, and then it has been ended.
  int Wait(unsigned long timeout_ms);

  HANDLE handle() const { return process_.get(); }
  DWORD id() const { return id_; }

 private:
  ScopedKernelHandle process_;
  DWORD id_ = 0;
};

// Start and Wait in one.
int RunProgram(const std::wstring& program, const std::wstring& arguments,
               const std::wstring& folder = std::wstring(),
               unsigned long timeout_ms = 60000);

}  // namespace velk::test

#endif  // TESTS_SUPPORT_TEST_PROCESS_H_
