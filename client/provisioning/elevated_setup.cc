#include "client/provisioning/elevated_setup.h"

#include <shellapi.h>

#include "client/provisioning/setup_mode.h"
#include "common/tunnel_identity.h"
#include "win/program_path.h"
#include "win/scoped_handle.h"

// A hand-off file is held open by its client for as long as the hand-off
// lasts, sharing reading and deletion with the setup copy but not an
// exclusive open: so a file that opens exclusively is one whose client has
// ended, and only such files are removed as leftovers.
namespace velk {
namespace {

struct FindHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Type value) { return value != INVALID_HANDLE_VALUE; }
  static void Close(Type value) { FindClose(value); }
};
using ScopedFindHandle = ScopedResource<FindHandleTraits>;

// Writes the text into the new hand-off file and keeps the file open, or
// answers null.
ScopedKernelHandle WriteHandOffFile(const wchar_t* path,
                                    const std::string& text) {
  if (text.size() > MAXDWORD) return ScopedKernelHandle();
  ScopedKernelHandle file(
      CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file ||
      !WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()),
                 &written, nullptr) ||
      written != text.size()) {
    return ScopedKernelHandle();
  }
  return file;
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

std::wstring GetHandOffFolder() {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD length = GetTempPathW(MAX_PATH, buffer);
  // A folder that does not fit the buffer could not take a file name either.
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return std::wstring(buffer, length) + kTunnelName + L"\\";
}

bool RunElevatedSetup(const std::string& config_text,
                      const SetupProcessWaiter& wait) {
  const std::wstring folder = GetHandOffFolder();
  if (folder.empty()) return false;
  // Already there after the first hand-off; a failure fails the next call.
  (void)CreateDirectoryW(folder.c_str(), nullptr);
  wchar_t hand_off_path[MAX_PATH] = {};
  if (GetTempFileNameW(folder.c_str(), L"tvc", 0, hand_off_path) == 0) {
    return false;
  }

  DWORD exit_code = 1;
  {
    ScopedKernelHandle hand_off = WriteHandOffFile(hand_off_path, config_text);
    if (hand_off) exit_code = RunSetupCopy(hand_off_path, wait);
  }
  // Setup mode deletes the file once read; this covers every other path.
  (void)DeleteFileW(hand_off_path);
  return exit_code == 0;
}

void RemoveHandOffLeftovers() {
  const std::wstring folder = GetHandOffFolder();
  if (folder.empty()) return;
  WIN32_FIND_DATAW found = {};
  ScopedFindHandle search(
      FindFirstFileW((folder + L"tvc*.tmp").c_str(), &found));
  if (!search) return;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    ScopedKernelHandle leftover(
        CreateFileW((folder + found.cFileName).c_str(), DELETE, 0, nullptr,
                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!leftover) continue;  // its hand-off is still going on
    FILE_DISPOSITION_INFO dispose = {TRUE};
    (void)SetFileInformationByHandle(leftover.get(), FileDispositionInfo,
                                     &dispose, sizeof(dispose));
  } while (FindNextFileW(search.get(), &found));
}

}  // namespace velk
