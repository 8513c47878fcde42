#ifndef TESTS_SUPPORT_CRASH_GUARD_H_
#define TESTS_SUPPORT_CRASH_GUARD_H_

namespace velk::test {

// Exit code of a program that the crash guard ended.
inline constexpr int kCrashExitCode = 86;

// Makes any crash of this process end it with kCrashExitCode after one line on
// the standard error stream. Under Wine a crashing program can otherwise exit
// with code 0, or wait behind a crash dialog. Does nothing outside Windows,
// where the sanitizers and the signal's exit status already fail the run.
void InstallCrashGuard();

}  // namespace velk::test

#endif  // TESTS_SUPPORT_CRASH_GUARD_H_
