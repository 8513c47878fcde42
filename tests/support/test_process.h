// Running another program from a test and reading how it ended.

#ifndef TESTS_SUPPORT_TEST_PROCESS_H_
#define TESTS_SUPPORT_TEST_PROCESS_H_

#include <string>

namespace velk::test {

// What RunProgram answers for a program that could not be started or did
// not end in time.
inline constexpr int kProgramNotRun = -1;

// Runs `program` with `arguments` after its quoted path, in `folder` (this
// process's current folder when empty), and waits at most `timeout_ms` for
// it. Its exit code, or kProgramNotRun; a program that overran is ended, so
// that no test leaves one behind.
int RunProgram(const std::wstring& program, const std::wstring& arguments,
               const std::wstring& folder = std::wstring(),
               unsigned long timeout_ms = 60000);

}  // namespace velk::test

#endif  // TESTS_SUPPORT_TEST_PROCESS_H_
