// The temporary folder takes everything in it along when it goes, so that
// tests leave nothing behind in the prefix.

#include "tests/support/temporary_folder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace velk::test {
namespace {

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(TemporaryFolder, IsNewAndGoesWithItsFilesAndFolders) {
  std::wstring path;
  {
    TemporaryFolder first;
    TemporaryFolder second;
    path = first.path();
    ASSERT_TRUE(Exists(path));
    EXPECT_NE(second.path(), path);
    ASSERT_TRUE(CreateDirectoryW(first.File(L"inner").c_str(), nullptr));
    for (const wchar_t* name : {L"a file.txt", L"inner\\read-only.txt"}) {
      HANDLE file =
          CreateFileW(first.File(name).c_str(), GENERIC_WRITE, 0, nullptr,
                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(file, INVALID_HANDLE_VALUE);
      CloseHandle(file);
    }
    ASSERT_TRUE(SetFileAttributesW(first.File(L"inner\\read-only.txt").c_str(),
                                   FILE_ATTRIBUTE_READONLY));
  }
  EXPECT_FALSE(Exists(path));
}

}  // namespace
}  // namespace velk::test
