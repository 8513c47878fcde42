#include "tests/support/temporary_folder.h"

#include <windows.h>

#include "win/text.h"

namespace velk::test {
namespace {

// Removes `folder` with its files and folders; what cannot be removed stays
// for the prefix to take with it.
void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        (void)SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        (void)DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  (void)RemoveDirectoryW(folder.c_str());
}

}  // namespace

TemporaryFolder::TemporaryFolder(const std::wstring& name) {
  wchar_t temp[MAX_PATH] = {};
  const DWORD length = GetTempPathW(MAX_PATH, temp);
  if (length == 0 || length >= MAX_PATH) return;
  // The process id and a count keep folders of parallel tests apart.
  static int made = 0;
  const std::wstring base = std::wstring(temp) + name + L" " +
                            std::to_wstring(GetCurrentProcessId()) + L" ";
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring candidate = base + std::to_wstring(++made);
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
  }
}

TemporaryFolder::~TemporaryFolder() {
  if (!path_.empty()) RemoveTree(path_);
}

std::wstring TemporaryFolder::File(const std::wstring& name) const {
  return path_ + L"\\" + name;
}

std::string TemporaryFolder::Utf8File(const std::wstring& name) const {
  return Utf16ToUtf8(File(name).c_str());
}

}  // namespace velk::test
