#include "client/provisioning/setup_mode.h"

#include <aclapi.h>

#include <array>
#include <cwchar>
#include <string>
#include <vector>

#include "client/provisioning/access_entries.h"
#include "client/provisioning/tunnel_service.h"
#include "win/scoped_handle.h"
#include "win/whole_file.h"

namespace velk {
namespace {

constexpr wchar_t kDefaultProgramData[] = L"C:\\ProgramData";
constexpr wchar_t kConfigFileName[] = L"\\tovranevpn.conf";

// The value of an environment variable, or an empty text when it is unset.
// A value longer than the first buffer is read again into one that fits.
std::wstring ReadEnvironmentVariable(const wchar_t* name) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length = GetEnvironmentVariableW(
        name, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::wstring();
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    // Too small: `length` is the size needed, terminator included. The value
    // may change between the calls, hence the retry.
    buffer.assign(length, L'\0');
  }
  return std::wstring();
}

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
  PACL acl = nullptr;
  if (SetEntriesInAclW(static_cast<ULONG>(entries.size()), entries.data(),
                       nullptr, &acl) != ERROR_SUCCESS) {
    return false;
  }
  ScopedLocalMemory acl_owner(acl);
  std::wstring object_name = folder;
  return SetNamedSecurityInfoW(
             object_name.data(), SE_FILE_OBJECT,
             DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
             nullptr, nullptr, acl, nullptr) == ERROR_SUCCESS;
}

// Adds the user's entry to the file's own list, which stays unprotected and
// so keeps what it inherits from the folder. Failures leave the file as the
// folder's entries made it.
void GrantUserFileAccess(const std::wstring& path, PSID user) {
  std::wstring object_name = path;
  PACL old_acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(object_name.c_str(), SE_FILE_OBJECT,
                            DACL_SECURITY_INFORMATION, nullptr, nullptr,
                            &old_acl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return;
  }
  // The old list lives inside the descriptor: merge before freeing it.
  ScopedLocalMemory descriptor_owner(descriptor);
  EXPLICIT_ACCESS_W entry = ConfigFileUserEntry(user);
  PACL merged = nullptr;
  const DWORD merge_result = SetEntriesInAclW(1, &entry, old_acl, &merged);
  descriptor_owner.reset();
  if (merge_result != ERROR_SUCCESS) return;
  ScopedLocalMemory merged_owner(merged);
  (void)SetNamedSecurityInfoW(object_name.data(), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              merged, nullptr);
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

  std::vector<BYTE> user = QueryCurrentUser();
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

std::wstring GetTunnelDataFolder() {
  std::wstring folder = ReadEnvironmentVariable(L"ProgramData");
  if (folder.empty()) folder = kDefaultProgramData;
  return folder + L"\\" + kTunnelName;
}

std::wstring GetTunnelConfigPath() {
  return GetTunnelDataFolder() + kConfigFileName;
}

std::vector<BYTE> QueryCurrentUser() {
  HANDLE raw_token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw_token)) {
    return {};
  }
  ScopedKernelHandle token(raw_token);
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return {};
  std::vector<BYTE> user(size, 0);
  if (!GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) {
    return {};
  }
  return user;
}

}  // namespace velk
