// Where the stored tunnel configuration lives: the machine-wide data folder
// that the setup mode secures, the client rewrites and the host reads.

#ifndef CLIENT_PROVISIONING_TUNNEL_DATA_FOLDER_H_
#define CLIENT_PROVISIONING_TUNNEL_DATA_FOLDER_H_

#include <string>

namespace velk {

// The machine-wide data folder, %ProgramData%\TovraneVPN ("C:\ProgramData"
// when the variable is unset).
std::wstring GetTunnelDataFolder();

// The stored configuration file in the data folder.
std::wstring GetTunnelConfigPath();

}  // namespace velk

#endif  // CLIENT_PROVISIONING_TUNNEL_DATA_FOLDER_H_
