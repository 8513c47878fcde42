#include "tests/tunnel_host/host_folder.h"

#include <atomic>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tests/support/build_path.h"
#include "tests/support/test_process.h"

namespace velk::test {
namespace {

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

bool HostFolder::Plant(const std::wstring& name) const {
  return CopyFileW(WindowsPathOf(VELK_PLANTED_LIBRARY_DLL).c_str(),
                   Path(name).c_str(), FALSE) != 0;
}

std::string HostFolder::Read(const std::wstring& name) const {
  std::ifstream file(Path(name).c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file),
                     std::istreambuf_iterator<char>());
}

bool HostFolder::Exists(const std::wstring& name) const {
  return GetFileAttributesW(Path(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD HostFolder::RunHost(const std::wstring& arguments,
                          const std::wstring& working_folder) const {
  return static_cast<DWORD>(
      RunProgram(host_path(), arguments,
                 working_folder.empty() ? folder_ : working_folder, 30000));
}

}  // namespace velk::test
