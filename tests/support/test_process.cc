#include "tests/support/test_process.h"

#include <windows.h>

#include "win/scoped_handle.h"

namespace velk::test {

int RunProgram(const std::wstring& program, const std::wstring& arguments,
               const std::wstring& folder, unsigned long timeout_ms) {
  std::wstring command_line = L"\"" + program + L"\"";
  if (!arguments.empty()) command_line += L" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr,
                      FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup,
                      &started)) {
    return kProgramNotRun;
  }
  const ScopedKernelHandle process(started.hProcess);
  const ScopedKernelHandle thread(started.hThread);
  DWORD exit_code = 0;
  if (WaitForSingleObject(process.get(), timeout_ms) != WAIT_OBJECT_0) {
    // Ending it is all that is left to do; if even that fails, the prefix's
    // server ends it with the run.
    (void)TerminateProcess(process.get(), 99);
    return kProgramNotRun;
  }
  if (!GetExitCodeProcess(process.get(), &exit_code)) return kProgramNotRun;
  return static_cast<int>(exit_code);
}

}  // namespace velk::test
