#include "client/provisioning/elevated_setup.h"

#include <shellapi.h>

#include "client/provisioning/setup_mode.h"
#include "client/provisioning/tunnel_service.h"
#include "win/program_path.h"
#include "win/scoped_handle.h"
#include "win/whole_file.h"

namespace velk {
namespace {

// The temporary file's folder, or an empty text when it cannot be had whole:
// a folder that does not fit the buffer could not take a file name either.
std::wstring GetTemporaryFolder() {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD length = GetTempPathW(MAX_PATH, buffer);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return std::wstring(buffer, length);
}

// Starts the elevated copy and answers its exit code, 1 when none can be had.
DWORD RunSetupCopy(const std::wstring& hand_off_path,
                   const SetupProcessWaiter& wait) {
  const std::wstring program = GetProgramPath();
  if (program.empty()) return 1;
  const std::wstring parameters =
      std::wstring(kSetupArgumentPrefix) + L"\"" + hand_off_path + L"\"";

#ifdef _WIN64
  static_assert(sizeof(SHELLEXECUTEINFOW) == 112);
#endif
  SHELLEXECUTEINFOW launch = {};
  launch.cbSize = sizeof(launch);
  launch.fMask = SEE_MASK_NOCLOSEPROCESS;
  launch.hwnd = nullptr;
  launch.lpVerb = L"runas";
  launch.lpFile = program.c_str();
  launch.lpParameters = parameters.c_str();
  launch.lpDirectory = nullptr;
  launch.nShow = SW_HIDE;
  // Declining the consent prompt fails here too.
  if (!ShellExecuteExW(&launch) || launch.hProcess == nullptr) return 1;
  ScopedKernelHandle process(launch.hProcess);

  // A copy still running after the wait reads as STILL_ACTIVE, a failure; it
  // is left to finish on its own.
  (void)wait(process.get(), kElevatedSetupWaitMs);
  DWORD exit_code = 1;
  if (!GetExitCodeProcess(process.get(), &exit_code)) exit_code = 1;
  return exit_code;
}

}  // namespace

bool RunElevatedSetup(const std::string& config_text,
                      const SetupProcessWaiter& wait) {
  const std::wstring folder = GetTemporaryFolder();
  if (folder.empty()) return false;
  wchar_t hand_off_path[MAX_PATH] = {};
  if (GetTempFileNameW(folder.c_str(), L"tvc", 0, hand_off_path) == 0) {
    return false;
  }

  DWORD exit_code = 1;
  if (WriteWholeFile(hand_off_path, config_text)) {
    exit_code = RunSetupCopy(hand_off_path, wait);
  }
  // Setup mode deletes the file once read; this covers every other path.
  (void)DeleteFileW(hand_off_path);
  return exit_code == 0;
}

}  // namespace velk
