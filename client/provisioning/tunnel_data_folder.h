// Where the stored tunnel configuration lives: the machine-wide data folder
// that the setup mode secures, the client rewrites and the host reads.

#ifndef CLIENT_PROVISIONING_TUNNEL_DATA_FOLDER_H_
#define CLIENT_PROVISIONING_TUNNEL_DATA_FOLDER_H_

#include <string>

namespace velk {

// The machine-wide data folder, <ProgramData>\TovraneVPN. ProgramData is the
// system's known folder; a user can set the environment variable to a folder
// of their own, so the variable counts only when the system cannot say.
std::wstring GetTunnelDataFolder();

// The stored configuration file in the data folder.
std::wstring GetTunnelConfigPath();

// The fallback: the ProgramData environment variable, or "C:\ProgramData"
// when it is unset.
std::wstring GetProgramDataFromEnvironment();

}  // namespace velk

#endif  // CLIENT_PROVISIONING_TUNNEL_DATA_FOLDER_H_
