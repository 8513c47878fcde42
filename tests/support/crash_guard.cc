#include "tests/support/crash_guard.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdio>
#endif

namespace velk::test {

#ifdef _WIN32
namespace {

LONG WINAPI EndCrashedProcess(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  std::fprintf(stderr, "Unhandled exception 0x%08lx at %p\n",
               static_cast<unsigned long>(record->ExceptionCode),
               record->ExceptionAddress);
  std::fflush(stderr);
  // TerminateProcess, not ExitProcess: the crashed process may hold locks
  // that its exit handlers would wait for.
  TerminateProcess(GetCurrentProcess(), kCrashExitCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void InstallCrashGuard() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX |
               SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(EndCrashedProcess);
}
#else
void InstallCrashGuard() {}
#endif

}  // namespace velk::test
