#include "client/provisioning/approved_host_folder.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <string_view>
#include <vector>

#include "win/scoped_handle.h"

namespace velk {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\'; }

// A drive-letter path whose every component names one folder by its own
// name. Rejected: device and UNC forms ("\\?\", "\\.\", "\\server"), forward
// slashes, stream names after a colon, "." and "..", empty components, and
// components ending in a dot or a space, which the system strips, so that
// "C:\Program Files." reads as Program Files while a different folder of
// that name can exist.
bool IsPlainLocalPath(const std::wstring& path) {
  const wchar_t drive = path.empty() ? L'\0' : path[0];
  const bool is_letter =
      (drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z');
  if (path.size() < 4 || !is_letter || path[1] != L':' ||
      !IsSeparator(path[2])) {
    return false;
  }
  size_t start = 3;
  while (start <= path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    const std::wstring component = path.substr(start, end - start);
    if (component.empty() || component == L"." || component == L".." ||
        component.back() == L'.' || component.back() == L' ') {
      return false;
    }
    for (wchar_t c : component) {
      if (c < 0x20 ||
          std::wstring_view(L"/:*?\"<>|").find(c) != std::wstring_view::npos) {
        return false;
      }
    }
    start = end + 1;
  }
  return true;
}

std::wstring WithoutTrailingSeparator(std::wstring path) {
  if (!path.empty() && IsSeparator(path.back())) path.pop_back();
  return path;
}

// Ordinal comparison ignoring case, the file system's own rule for names.
bool SameText(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() &&
         CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Strictly inside `root`, on a component boundary: "C:\Program Files Evil"
// is not inside "C:\Program Files".
bool IsStrictlyInside(const std::wstring& folder, const std::wstring& root) {
  return folder.size() > root.size() + 1 && IsSeparator(folder[root.size()]) &&
         SameText(std::wstring_view(folder).substr(0, root.size()), root);
}

// The folder as the file system names it, with links followed and short
// names expanded, in the drive-letter form; empty when it cannot be opened.
std::wstring ResolveFolder(const std::wstring& folder) {
  if (folder.empty()) return std::wstring();
  ScopedKernelHandle handle(
      CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle) return std::wstring();
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleW(
        handle.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length > 32768) return std::wstring();
    if (length < buffer.size()) {
      std::wstring resolved(buffer.data(), length);
      constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
      if (resolved.compare(0, kLongPrefix.size(), kLongPrefix) == 0 &&
          resolved.size() > kLongPrefix.size() + 1 &&
          resolved[kLongPrefix.size() + 1] == L':') {
        resolved.erase(0, kLongPrefix.size());
      }
      return resolved;
    }
    buffer.resize(length);
  }
}

// From the system's own list of known folders, never from the environment,
// which the user who asked for the elevation controls.
std::wstring ProgramFilesFolder() {
  PWSTR path = nullptr;
  std::wstring folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramFiles, KF_FLAG_DEFAULT,
                                     nullptr, &path))) {
    folder = path;
  }
  CoTaskMemFree(path);
  return folder;
}

std::wstring RecordedInstallFolder() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kInstallRecordKey, 0,
                    KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
    return std::wstring();
  }
  std::wstring folder;
  DWORD bytes = 0;
  if (RegGetValueW(key, nullptr, kInstallRecordValue, RRF_RT_REG_SZ, nullptr,
                   nullptr, &bytes) == ERROR_SUCCESS &&
      bytes >= sizeof(wchar_t)) {
    std::vector<wchar_t> value(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (RegGetValueW(key, nullptr, kInstallRecordValue, RRF_RT_REG_SZ, nullptr,
                     value.data(), &bytes) == ERROR_SUCCESS) {
      folder = value.data();
    }
  }
  RegCloseKey(key);
  return folder;
}

}  // namespace

bool IsApprovedHostFolder(const HostFolderFacts& facts) {
  const std::wstring& host = facts.host_folder;
  if (!IsPlainLocalPath(host)) return false;
  // The service names the folder as given: a link or short name in it could
  // point elsewhere tomorrow.
  if (!SameText(host, facts.resolved_host_folder)) return false;

  const std::wstring program_files =
      WithoutTrailingSeparator(facts.program_files);
  if (IsPlainLocalPath(program_files) &&
      IsStrictlyInside(host, program_files)) {
    return true;
  }
  const std::wstring recorded = WithoutTrailingSeparator(facts.recorded_folder);
  return IsPlainLocalPath(recorded) && SameText(host, recorded);
}

bool HostFolderIsApproved(const std::wstring& host_folder) {
  HostFolderFacts facts;
  facts.host_folder = host_folder;
  facts.resolved_host_folder = ResolveFolder(host_folder);
  facts.program_files = ResolveFolder(ProgramFilesFolder());
  facts.recorded_folder = ResolveFolder(RecordedInstallFolder());
  return IsApprovedHostFolder(facts);
}

}  // namespace velk
