#include "tests/tunnel_host/host_folder.h"

#include <atomic>
#include <fstream>
#include <iterator>
#include <sstream>

namespace tunnel_host_test {
namespace {

// Build outputs are Linux paths; Wine sees the Linux root as drive Z:.
std::wstring WindowsPathOf(const char* build_path) {
  std::wstring path = L"Z:";
  for (const char* c = build_path; *c != '\0'; ++c) {
    path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
  }
  return path;
}

void RemoveFolder(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      // Best effort: a leftover file only costs space in the test prefix.
      (void)DeleteFileW((folder + L"\\" + name).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  (void)RemoveDirectoryW(folder.c_str());
}

}  // namespace

HostFolder::HostFolder(Library library) {
  static std::atomic<int> counter{0};
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  folder_ = std::wstring(temp) + L"velk_host_" +
            std::to_wstring(GetCurrentProcessId()) + L"_" +
            std::to_wstring(counter++);
  RemoveFolder(folder_);
  ok_ = CreateDirectoryW(folder_.c_str(), nullptr) != 0;
  ok_ = ok_ && CopyFileW(WindowsPathOf(VELK_TOVRANE_TUNNEL_EXE).c_str(),
                         host_path().c_str(), FALSE) != 0;
  const char* library_source = nullptr;
  if (library == Library::kStandIn) library_source = VELK_TUNNEL_STAND_IN_DLL;
  if (library == Library::kWithoutEntry) {
    library_source = VELK_TUNNEL_WITHOUT_ENTRY_DLL;
  }
  if (library_source != nullptr) {
    ok_ = ok_ && CopyFileW(WindowsPathOf(library_source).c_str(),
                           Path(L"tunnel.dll").c_str(), FALSE) != 0;
  }
}

HostFolder::~HostFolder() { RemoveFolder(folder_); }

std::wstring HostFolder::Path(const std::wstring& name) const {
  return folder_ + L"\\" + name;
}

void HostFolder::Write(const std::wstring& name,
                       const std::string& bytes) const {
  std::ofstream file(Path(name).c_str(), std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string HostFolder::Read(const std::wstring& name) const {
  std::ifstream file(Path(name).c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file),
                     std::istreambuf_iterator<char>());
}

bool HostFolder::Exists(const std::wstring& name) const {
  return GetFileAttributesW(Path(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD HostFolder::RunHost(const std::wstring& arguments) const {
  std::wstring command_line = L"\"" + host_path() + L"\"";
  if (!arguments.empty()) command_line += L" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(host_path().c_str(), command_line.data(), nullptr,
                      nullptr, FALSE, 0, nullptr, folder_.c_str(), &startup,
                      &process)) {
    return static_cast<DWORD>(-1);
  }
  CloseHandle(process.hThread);
  DWORD exit_code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &exit_code);
  } else {
    TerminateProcess(process.hProcess, 99);
  }
  CloseHandle(process.hProcess);
  return exit_code;
}

}  // namespace tunnel_host_test
