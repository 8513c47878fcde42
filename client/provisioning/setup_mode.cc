#include "client/provisioning/setup_mode.h"

#include <windows.h>

#include <aclapi.h>

#include <array>
#include <cwchar>
#include <string>
#include <vector>

#include "client/provisioning/access_entries.h"
#include "client/provisioning/current_user.h"
#include "client/provisioning/tunnel_data_folder.h"
#include "client/provisioning/tunnel_service.h"
#include "win/scoped_handle.h"
#include "win/whole_file.h"

namespace velk {
namespace {

struct WellKnownSid {
  BYTE bytes[SECURITY_MAX_SID_SIZE] = {};
  PSID sid() { return bytes; }
};

bool MakeWellKnownSid(WELL_KNOWN_SID_TYPE type, WellKnownSid* out) {
  DWORD size = sizeof(out->bytes);
  return CreateWellKnownSid(type, nullptr, out->sid(), &size) != FALSE;
}

// Only administrators and the system may change the folder, and nothing is
// inherited from its parent.
bool SecureDataFolder(const std::wstring& folder) {
  WellKnownSid administrators;
  WellKnownSid local_system;
  if (!MakeWellKnownSid(WinBuiltinAdministratorsSid, &administrators) ||
      !MakeWellKnownSid(WinLocalSystemSid, &local_system)) {
    return false;
  }
  std::array<EXPLICIT_ACCESS_W, 2> entries =
      DataFolderAccessEntries(administrators.sid(), local_system.sid());
  ScopedLocalPointer<PACL> acl;
  if (SetEntriesInAclW(static_cast<ULONG>(entries.size()), entries.data(),
                       nullptr, acl.receive()) != ERROR_SUCCESS) {
    return false;
  }
  std::wstring object_name = folder;
  return SetNamedSecurityInfoW(
             object_name.data(), SE_FILE_OBJECT,
             DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
             nullptr, nullptr, acl.get(), nullptr) == ERROR_SUCCESS;
}

// Adds the user's entry to the file's own list, which stays unprotected and
// so keeps what it inherits from the folder. Failures leave the file as the
// folder's entries made it.
void GrantUserFileAccess(const std::wstring& path, PSID user) {
  std::wstring object_name = path;
  PACL old_acl = nullptr;
  ScopedLocalPointer<PSECURITY_DESCRIPTOR> descriptor;
  if (GetNamedSecurityInfoW(object_name.c_str(), SE_FILE_OBJECT,
                            DACL_SECURITY_INFORMATION, nullptr, nullptr,
                            &old_acl, nullptr,
                            descriptor.receive()) != ERROR_SUCCESS) {
    return;
  }
  // The old list lives inside the descriptor: merge before freeing it.
  EXPLICIT_ACCESS_W entry = ConfigFileUserEntry(user);
  ScopedLocalPointer<PACL> merged;
  const DWORD merge_result =
      SetEntriesInAclW(1, &entry, old_acl, merged.receive());
  descriptor.reset();
  if (merge_result != ERROR_SUCCESS) return;
  (void)SetNamedSecurityInfoW(object_name.data(), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              merged.get(), nullptr);
}

int RunSetup(const std::wstring& input_path) {
  std::string config;
  if (!ReadWholeFile(input_path, &config)) return kSetupInputUnreadable;
  // The client deletes the file again after its wait; either may win.
  (void)DeleteFileW(input_path.c_str());

  // An existing folder is fine; one that failed to appear makes the next
  // steps fail with their own codes.
  const std::wstring folder = GetTunnelDataFolder();
  (void)CreateDirectoryW(folder.c_str(), nullptr);
  if (!SecureDataFolder(folder)) return kSetupFolderNotSecured;

  const std::wstring config_path = GetTunnelConfigPath();
  if (!WriteWholeFile(config_path, config)) return kSetupConfigNotStored;

  std::vector<unsigned char> user = QueryCurrentUser();
  if (user.empty()) return kSetupUserUnknown;
  PSID user_sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  GrantUserFileAccess(config_path, user_sid);

  if (!InstallTunnelService(config_path, user_sid)) {
    return kSetupServiceNotInstalled;
  }
  // A running instance still has the old configuration loaded.
  StopTunnelServiceAndWait();
  return StartTunnelService() ? kSetupSucceeded : kSetupServiceNotStarted;
}

}  // namespace

bool FindSetupFilePath(const std::wstring& command_line, std::wstring* path) {
  const size_t prefix = command_line.find(kSetupArgumentPrefix);
  if (prefix == std::wstring::npos) return false;
  const std::wstring rest =
      command_line.substr(prefix + std::wcslen(kSetupArgumentPrefix));
  if (!rest.empty() && rest[0] == L'"') {
    const size_t closing = rest.find(L'"', 1);
    *path = closing == std::wstring::npos ? rest.substr(1)
                                          : rest.substr(1, closing - 1);
  } else {
    *path = rest;
  }
  return true;
}

bool SetupMode(const std::wstring& command_line, int* exit_code) {
  std::wstring input_path;
  if (!FindSetupFilePath(command_line, &input_path)) return false;
  *exit_code = RunSetup(input_path);
  return true;
}

}  // namespace velk
