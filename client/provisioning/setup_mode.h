#ifndef CLIENT_PROVISIONING_SETUP_MODE_H_
#define CLIENT_PROVISIONING_SETUP_MODE_H_

#include <string>

// The one-shot elevated mode of the client: it stores the configuration that
// the normal client handed over in a temporary file, secures it, installs and
// starts the tunnel service, and reports only through its exit code.
namespace velk {

inline constexpr wchar_t kSetupArgumentPrefix[] = L"--tovrane-vpn-setup=";

// Exit codes of the setup mode, as the process that started it sees them.
enum SetupExitCode : int {
  kSetupSucceeded = 0,
  // The temporary file is missing, empty, larger than 64 KiB, not a regular
  // local file, or reached through a link.
  kSetupInputUnreadable = 10,
  // The data folder is not a plain folder or cannot be secured.
  kSetupFolderNotSecured = 11,
  // The stored file is not a plain file, or was not written whole.
  kSetupConfigNotStored = 12,
  kSetupUserUnknown = 13,
  kSetupServiceNotInstalled = 14,
  kSetupServiceNotStarted = 15,
};

// Offers the process's command line (the text after the program name) to the
// setup mode. Returns false when it carries no setup argument: the process
// goes on as the normal client. Otherwise runs the setup, sets `exit_code`
// and returns true: the process must end with that code.
bool SetupMode(const std::wstring& command_line, int* exit_code);

// Finds the temporary file's path in a command line: after the first
// occurrence of the setup argument, either between double quotes or, when
// unquoted, everything to the end of the line.
bool FindSetupFilePath(const std::wstring& command_line, std::wstring* path);

}  // namespace velk

#endif  // CLIENT_PROVISIONING_SETUP_MODE_H_
