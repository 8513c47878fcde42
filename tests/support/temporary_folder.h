// A folder of a test's own in the temporary folder, removed with everything
// in it when the test is done.

#ifndef TESTS_SUPPORT_TEMPORARY_FOLDER_H_
#define TESTS_SUPPORT_TEMPORARY_FOLDER_H_

#include <string>

namespace velk::test {

class TemporaryFolder {
 public:
  // Makes a new, empty folder whose name starts with `name`; path() is empty
  // when that failed.
  explicit TemporaryFolder(const std::wstring& name = L"velk test");
  ~TemporaryFolder();

  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  // The folder, without a trailing backslash.
  const std::wstring& path() const { return path_; }
  // A file in it, as a Windows path and as UTF-8.
  std::wstring File(const std::wstring& name) const;
  std::string Utf8File(const std::wstring& name) const;

 private:
  std::wstring path_;
};

}  // namespace velk::test

#endif  // TESTS_SUPPORT_TEMPORARY_FOLDER_H_
