#include "tests/tunnel_host/host_folder.h"

#include "tests/support/build_path.h"
#include "tests/support/test_process.h"
#include "win/whole_file.h"

namespace velk::test {

HostFolder::HostFolder(Library library) {
  ok_ = !folder_.path().empty() &&
        CopyFileW(WindowsPathOf(VELK_TOVRANE_TUNNEL_EXE).c_str(),
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

void HostFolder::Write(const std::wstring& name,
                       const std::string& bytes) const {
  (void)WriteWholeFile(Path(name), bytes);
}

bool HostFolder::Plant(const std::wstring& name) const {
  return CopyFileW(WindowsPathOf(VELK_PLANTED_LIBRARY_DLL).c_str(),
                   Path(name).c_str(), FALSE) != 0;
}

std::string HostFolder::Read(const std::wstring& name) const {
  std::string bytes;
  (void)ReadWholeFile(Path(name), &bytes);
  return bytes;
}

bool HostFolder::Exists(const std::wstring& name) const {
  return GetFileAttributesW(Path(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD HostFolder::RunHost(const std::wstring& arguments,
                          const std::wstring& working_folder) const {
  return static_cast<DWORD>(RunProgram(
      host_path(), arguments,
      working_folder.empty() ? folder_.path() : working_folder, 30000));
}

}  // namespace velk::test
