// The entry of the setup and hand-off tests. Like the client's, it offers its
// command line to the setup mode first, so the hand-off can start this very
// program elevated and the tests can run it as a setup process.
//
// Two knobs for the tests, read from the environment by the setup role only:
// VELK_TEST_SETUP_DELAY_MS delays the setup, VELK_TEST_SETUP_REPORT names a
// file that receives the setup's exit code when it ends.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <filesystem>
#include <fstream>
#include <string>

#include "client/provisioning/setup_mode.h"
#include "tests/support/crash_guard.h"

namespace {

// What a GUI entry receives as its command line: the text after the program
// name (quoted or not) and the blanks that follow it.
std::wstring CommandLineAfterProgramName(const wchar_t* full) {
  const wchar_t* rest = full;
  if (*rest == L'"') {
    ++rest;
    while (*rest != L'\0' && *rest != L'"') ++rest;
    if (*rest == L'"') ++rest;
  } else {
    while (*rest != L'\0' && *rest != L' ' && *rest != L'\t') ++rest;
  }
  while (*rest == L' ' || *rest == L'\t') ++rest;
  return rest;
}

std::wstring Environment(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(value, length)
                                         : std::wstring();
}

}  // namespace

int main(int argc, char** argv) {
  velk::test::InstallCrashGuard();
  const std::wstring command_line =
      CommandLineAfterProgramName(GetCommandLineW());
  if (command_line.find(velk::kSetupArgumentPrefix) != std::wstring::npos) {
    const std::wstring delay = Environment(L"VELK_TEST_SETUP_DELAY_MS");
    if (!delay.empty()) Sleep(std::wcstoul(delay.c_str(), nullptr, 10));
  }
  int exit_code = 0;
  if (velk::SetupMode(command_line, &exit_code)) {
    const std::wstring report = Environment(L"VELK_TEST_SETUP_REPORT");
    if (!report.empty()) {
      std::ofstream(std::filesystem::path(report)) << exit_code;
    }
    return exit_code;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
