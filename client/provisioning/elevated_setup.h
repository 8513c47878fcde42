#ifndef CLIENT_PROVISIONING_ELEVATED_SETUP_H_
#define CLIENT_PROVISIONING_ELEVATED_SETUP_H_

#include <windows.h>

#include <functional>
#include <string>

namespace velk {

// How long the client waits for the elevated setup to end.
inline constexpr DWORD kElevatedSetupWaitMs = 30000;

// Waits for the setup process for at most the given time; answers as
// WaitForSingleObject does.
using SetupProcessWaiter = std::function<DWORD(HANDLE process, DWORD ms)>;

// Hands the configuration text to an elevated copy of this program in setup
// mode, through a temporary file, and waits for it. True only when that copy
// ended within the wait with exit code 0. The temporary file is gone
// afterwards, whatever happened.
bool RunElevatedSetup(const std::string& config_text,
                      const SetupProcessWaiter& wait = ::WaitForSingleObject);

// The folder of the hand-off files, "TovraneVPN\" in the user's temporary
// folder, which holds nothing else; empty when it cannot be had.
std::wstring GetHandOffFolder();

// Deletes the hand-off files that a client which ended during a hand-off
// left behind: they hold a private key. A hand-off in progress is not
// touched.
void RemoveHandOffLeftovers();

}  // namespace velk

#endif  // CLIENT_PROVISIONING_ELEVATED_SETUP_H_
