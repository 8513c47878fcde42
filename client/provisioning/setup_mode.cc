#include "client/provisioning/setup_mode.h"

#include <windows.h>

#include <aclapi.h>

#include <array>
#include <cwchar>
#include <string>
#include <string_view>

#include "client/provisioning/access_entries.h"
#include "client/provisioning/current_user.h"
#include "client/provisioning/tunnel_data_folder.h"
#include "client/provisioning/tunnel_service.h"
#include "win/access_list.h"
#include "win/scoped_handle.h"

// Setup runs with an administrator's token on a path and a folder that a
// standard user may have prepared. Every object it reads, writes or secures
// is opened once, without following a link, checked through its handle, and
// then used only through that handle.
namespace velk {
namespace {

// Far above any real configuration (a few hundred bytes): a larger input is
// refused, never cut.
constexpr DWORD kMaxSetupInputBytes = 64 * 1024;

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Names that Windows maps to a device in every folder, whatever their
// extension: "C:\x\nul.conf" is the NUL device.
bool IsDeviceName(std::wstring_view name) {
  name = name.substr(0, name.find(L'.'));
  while (!name.empty() && name.back() == L' ') name.remove_suffix(1);
  for (const wchar_t* device :
       {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
    if (EqualsIgnoringCase(name, device)) return true;
  }
  if (name.size() != 4) return false;
  const wchar_t last = name[3];
  const bool numbered = (last >= L'0' && last <= L'9') || last == L'\u00b9' ||
                        last == L'\u00b2' || last == L'\u00b3';
  return numbered && (EqualsIgnoringCase(name.substr(0, 3), L"COM") ||
                      EqualsIgnoringCase(name.substr(0, 3), L"LPT"));
}

// "X:\..." on a local drive, no device name or stream in it: neither a UNC
// path, which would make setup sign in to another machine, nor one of the
// "\\.\" or "\\?\" forms, which reach devices.
bool IsLocalDrivePath(const std::wstring& path) {
  if (path.size() < 4 || path[1] != L':' ||
      (path[2] != L'\\' && path[2] != L'/')) {
    return false;
  }
  const wchar_t letter = path[0] & ~0x20;
  if (letter < L'A' || letter > L'Z') return false;
  if (path.find(L':', 2) != std::wstring::npos) return false;
  for (size_t start = 3; start < path.size();) {
    size_t end = path.find_first_of(L"\\/", start);
    if (end == std::wstring::npos) end = path.size();
    if (IsDeviceName(std::wstring_view(path).substr(start, end - start))) {
      return false;
    }
    start = end + 1;
  }
  const wchar_t root[] = {path[0], L':', L'\\', L'\0'};
  const UINT type = GetDriveTypeW(root);
  return type == DRIVE_FIXED || type == DRIVE_REMOVABLE ||
         type == DRIVE_RAMDISK;
}

// The client names its hand-off files "tvc*.tmp": setup reads nothing else,
// so it cannot be made to hand over and delete some other file.
bool IsHandOffFileName(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  const std::wstring_view name = std::wstring_view(path).substr(
      slash == std::wstring::npos ? 0 : slash + 1);
  return name.size() > 7 && EqualsIgnoringCase(name.substr(0, 3), L"tvc") &&
         EqualsIgnoringCase(name.substr(name.size() - 4), L".tmp");
}

// The path with "." and ".." resolved and short names made long, as the
// system reports a handle's own path; empty on failure.
std::wstring LongFullPath(const std::wstring& path) {
  std::wstring full(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
  if (full.empty()) return full;
  full.resize(GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()),
                               full.data(), nullptr));
  std::wstring long_path(GetLongPathNameW(full.c_str(), nullptr, 0), L'\0');
  if (long_path.empty()) return long_path;
  long_path.resize(GetLongPathNameW(full.c_str(), long_path.data(),
                                    static_cast<DWORD>(long_path.size())));
  return long_path;
}

// Whether the handle is the object that `path` names itself, reached through
// no link. A link in the last step shows as a reparse point (Wine shows one
// to a folder only when asked by name); a link anywhere else, or a remote
// file, shows as a final path other than the one asked for.
bool ReachedWithoutLinks(HANDLE handle, const std::wstring& path,
                         const BY_HANDLE_FILE_INFORMATION& info) {
  const DWORD by_name = GetFileAttributesW(path.c_str());
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      by_name == INVALID_FILE_ATTRIBUTES ||
      (by_name & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return false;
  }
  wchar_t final_path[MAX_PATH + 8] = {};
  const DWORD length = GetFinalPathNameByHandleW(
      handle, final_path, MAX_PATH + 8, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  constexpr std::wstring_view kLocalPrefix = L"\\\\?\\";
  std::wstring_view resolved(final_path, length < MAX_PATH + 8 ? length : 0);
  if (resolved.substr(0, kLocalPrefix.size()) != kLocalPrefix) return false;
  resolved.remove_prefix(kLocalPrefix.size());
  const std::wstring asked = LongFullPath(path);
  return !asked.empty() && EqualsIgnoringCase(resolved, asked);
}

// A regular file on a local disk with one name, reached without links.
bool IsPlainFile(HANDLE file, const std::wstring& path) {
  BY_HANDLE_FILE_INFORMATION info = {};
  return GetFileType(file) == FILE_TYPE_DISK &&
         GetFileInformationByHandle(file, &info) &&
         !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
         info.nNumberOfLinks == 1 && ReachedWithoutLinks(file, path, info);
}

bool IsPlainFolder(HANDLE folder, const std::wstring& path) {
  BY_HANDLE_FILE_INFORMATION info = {};
  return GetFileType(folder) == FILE_TYPE_DISK &&
         GetFileInformationByHandle(folder, &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
         ReachedWithoutLinks(folder, path, info);
}

// Reads the hand-off file and deletes it through the same handle: by name,
// the path could name another file by then. The client deletes it again
// after its wait, so a failed deletion is left to it.
bool ReadSetupInput(const std::wstring& path, std::string* bytes) {
  if (!IsLocalDrivePath(path) || !IsHandOffFileName(path)) return false;
  // The client still holds the file it wrote, so writing must be shared.
  ScopedKernelHandle file(CreateFileW(
      path.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file || !IsPlainFile(file.get(), path)) return false;

  // One byte more than allowed tells a file that is too large.
  std::string content(kMaxSetupInputBytes + 1, '\0');
  DWORD total = 0;
  DWORD read = 0;
  while (total < content.size() &&
         ReadFile(file.get(), content.data() + total,
                  static_cast<DWORD>(content.size()) - total, &read, nullptr) &&
         read > 0) {
    total += read;
  }
  if (total == 0 || total > kMaxSetupInputBytes) return false;
  content.resize(total);

  FILE_DISPOSITION_INFO dispose = {TRUE};
  (void)SetFileInformationByHandle(file.get(), FileDispositionInfo, &dispose,
                                   sizeof(dispose));
  *bytes = std::move(content);
  return true;
}

struct WellKnownSid {
  BYTE bytes[SECURITY_MAX_SID_SIZE] = {};
  PSID sid() { return bytes; }
};

bool MakeWellKnownSid(WELL_KNOWN_SID_TYPE type, WellKnownSid* out) {
  DWORD size = sizeof(out->bytes);
  return CreateWellKnownSid(type, nullptr, out->sid(), &size) != FALSE;
}

// The data folder's owner and protected list: only administrators and the
// system may change the folder, and nothing is inherited from its parent.
struct DataFolderSecurity {
  WellKnownSid administrators;
  WellKnownSid local_system;
  ScopedLocalPointer<PACL> acl;
  SECURITY_DESCRIPTOR descriptor = {};

  bool Build() {
    if (!MakeWellKnownSid(WinBuiltinAdministratorsSid, &administrators) ||
        !MakeWellKnownSid(WinLocalSystemSid, &local_system)) {
      return false;
    }
    std::array<EXPLICIT_ACCESS_W, 2> entries =
        DataFolderAccessEntries(administrators.sid(), local_system.sid());
    return SetEntriesInAclW(static_cast<ULONG>(entries.size()), entries.data(),
                            nullptr, acl.receive()) == ERROR_SUCCESS &&
           InitializeSecurityDescriptor(&descriptor,
                                        SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorOwner(&descriptor, administrators.sid(),
                                      FALSE) &&
           SetSecurityDescriptorDacl(&descriptor, TRUE, acl.get(), FALSE) &&
           SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED,
                                        SE_DACL_PROTECTED);
  }
};

// Any user may create folders under ProgramData, so the folder may already be
// there, made by someone else, or be a link to elsewhere: it is created
// secured in one step, or opened as it is and taken over only when it is a
// plain folder.
bool SecureDataFolder(const std::wstring& folder) {
  DataFolderSecurity security;
  if (!security.Build()) return false;
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &security.descriptor,
                                    FALSE};
  if (!CreateDirectoryW(folder.c_str(), &attributes) &&
      GetLastError() != ERROR_ALREADY_EXISTS) {
    return false;
  }
  ScopedKernelHandle handle(CreateFileW(
      folder.c_str(),
      FILE_READ_ATTRIBUTES | READ_CONTROL | WRITE_DAC | WRITE_OWNER,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
      nullptr));
  return handle && IsPlainFolder(handle.get(), folder) &&
         SetSecurityInfo(handle.get(), SE_FILE_OBJECT,
                         OWNER_SECURITY_INFORMATION |
                             DACL_SECURITY_INFORMATION |
                             PROTECTED_DACL_SECURITY_INFORMATION,
                         security.administrators.sid(), nullptr,
                         security.acl.get(), nullptr) == ERROR_SUCCESS;
}

// Opens the stored file for rewriting and replaces its content. It is opened
// without truncation, so that nothing is lost before it is known to be a
// plain file. Null when it is not one or a write fails.
ScopedKernelHandle WriteStoredFile(const std::wstring& path,
                                   const std::string& bytes) {
  ScopedKernelHandle file(CreateFileW(
      path.c_str(),
      GENERIC_WRITE | FILE_READ_ATTRIBUTES | READ_CONTROL | WRITE_DAC, 0,
      nullptr, OPEN_ALWAYS,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  DWORD written = 0;
  if (!file || !IsPlainFile(file.get(), path) || !SetEndOfFile(file.get()) ||
      !WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                 &written, nullptr) ||
      written != bytes.size()) {
    return ScopedKernelHandle();
  }
  return file;
}

// Adds the user's entry to the file's own list, which stays unprotected and
// so keeps what it inherits from the folder. Failures leave the file as the
// folder's entries made it.
void GrantUserFileAccess(HANDLE file, PSID user) {
  (void)AddAccessEntry(file, SE_FILE_OBJECT, ConfigFileUserEntry(user));
}

int RunSetup(const std::wstring& input_path) {
  std::string config;
  if (!ReadSetupInput(input_path, &config)) return kSetupInputUnreadable;

  if (!SecureDataFolder(GetTunnelDataFolder())) return kSetupFolderNotSecured;

  const std::wstring config_path = GetTunnelConfigPath();
  ScopedKernelHandle stored = WriteStoredFile(config_path, config);
  if (!stored) return kSetupConfigNotStored;

  const CurrentUser user = QueryCurrentUser();
  if (user.empty()) return kSetupUserUnknown;
  GrantUserFileAccess(stored.get(), user.sid());
  stored.reset();

  if (!InstallTunnelService(config_path, user.sid())) {
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
