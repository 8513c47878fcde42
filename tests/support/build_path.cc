#include "tests/support/build_path.h"

namespace velk::test {

std::wstring WindowsPathOf(const char* linux_path) {
  std::wstring path = L"Z:";
  for (const char* c = linux_path; *c != '\0'; ++c) {
    // Build paths are ASCII; a wider byte would need a real conversion.
    path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
  }
  return path;
}

}  // namespace velk::test
