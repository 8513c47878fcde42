#ifndef CLIENT_PROVISIONING_APPROVED_HOST_FOLDER_H_
#define CLIENT_PROVISIONING_APPROVED_HOST_FOLDER_H_

#include <string>

// Whether the tunnel service may run a host from a given folder. The service
// runs as LocalSystem, so its program must lie where an administrator put
// it: in a folder under the system's Program Files folder, or in the folder
// that an installer recorded in the machine-wide registry. A copy of the
// client elsewhere (an unpacked archive in Downloads, a folder in the user's
// profile) would otherwise hand the user a LocalSystem service that runs
// files the user can replace.
namespace velk {

// The installers' record of their folder: a REG_SZ value under
// HKEY_LOCAL_MACHINE in the 64-bit view, a key that only administrators can
// write. Written on install, removed on uninstall.
inline constexpr wchar_t kInstallRecordKey[] = L"SOFTWARE\\Velk VPN";
inline constexpr wchar_t kInstallRecordValue[] = L"InstallFolder";

// What the decision rests on, as text, so that any case can be posed.
struct HostFolderFacts {
  // The folder as the service's command line would name it.
  std::wstring host_folder;
  // The same folder as the file system resolves it (links followed, short
  // names expanded); empty when it cannot be opened.
  std::wstring resolved_host_folder;
  // The system's Program Files folder, resolved; empty when unknown.
  std::wstring program_files;
  // The installers' recorded folder, resolved; empty when none is recorded.
  std::wstring recorded_folder;
};

// Approves a plain local path that names itself (no link, short name or
// other alias in it) and lies strictly inside Program Files or is the
// recorded folder. Letter case is ignored, as the file system ignores it.
bool IsApprovedHostFolder(const HostFolderFacts& facts);

// Gathers the facts for `host_folder` from the system and decides.
bool HostFolderIsApproved(const std::wstring& host_folder);

}  // namespace velk

#endif  // CLIENT_PROVISIONING_APPROVED_HOST_FOLDER_H_
