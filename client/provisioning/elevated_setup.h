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

}  // namespace velk

#endif  // CLIENT_PROVISIONING_ELEVATED_SETUP_H_
