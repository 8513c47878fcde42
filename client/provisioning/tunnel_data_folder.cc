#include "client/provisioning/tunnel_data_folder.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <vector>

#include "common/tunnel_identity.h"

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

// The system's ProgramData folder, or an empty text when it cannot say.
std::wstring GetKnownProgramData() {
  PWSTR path = nullptr;
  // The folder need not exist yet: only its path is wanted.
  const HRESULT result = SHGetKnownFolderPath(
      FOLDERID_ProgramData, KF_FLAG_DONT_VERIFY, nullptr, &path);
  std::wstring folder = SUCCEEDED(result) && path != nullptr ? path : L"";
  CoTaskMemFree(path);  // also when the call failed
  return folder;
}

}  // namespace

std::wstring GetProgramDataFromEnvironment() {
  std::wstring folder = ReadEnvironmentVariable(L"ProgramData");
  return folder.empty() ? kDefaultProgramData : folder;
}

std::wstring GetTunnelDataFolder() {
  std::wstring folder = GetKnownProgramData();
  if (folder.empty()) folder = GetProgramDataFromEnvironment();
  return folder + L"\\" + kTunnelName;
}

std::wstring GetTunnelConfigPath() {
  return GetTunnelDataFolder() + kConfigFileName;
}

}  // namespace velk
