#include "tests/support/test_process.h"

namespace velk::test {

TestProcess::~TestProcess() {
  if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    // Ending it is all that is left to do; if even that fails, the prefix's
    // server ends it with the run.
    (void)TerminateProcess(process_.get(), 99);
  }
}

bool TestProcess::Start(const std::wstring& program,
                        const std::wstring& arguments,
                        const std::wstring& folder) {
  std::wstring command_line = L"\"" + program + L"\"";
  if (!arguments.empty()) command_line += L" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr,
                      FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup,
                      &started)) {
    return false;
  }
  const ScopedKernelHandle thread(started.hThread);
  process_.reset(started.hProcess);
  id_ = started.dwProcessId;
  return true;
}

int TestProcess::Wait(unsigned long timeout_ms) {
  if (!process_) return kProgramNotRun;
  DWORD exit_code = 0;
  if (WaitForSingleObject(process_.get(), timeout_ms) != WAIT_OBJECT_0) {
    (void)TerminateProcess(process_.get(), 99);  // see the destructor
    (void)WaitForSingleObject(process_.get(), 5000);
    return kProgramNotRun;
  }
  if (!GetExitCodeProcess(process_.get(), &exit_code)) return kProgramNotRun;
  return static_cast<int>(exit_code);
}

int RunProgram(const std::wstring& program, const std::wstring& arguments,
               const std::wstring& folder, unsigned long timeout_ms) {
  TestProcess process;
  if (!process.Start(program, arguments, folder)) return kProgramNotRun;
  return process.Wait(timeout_ms);
}

}  // namespace velk::test
