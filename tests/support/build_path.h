// The files that the build made, as the test programs under Wine see them.

#ifndef TESTS_SUPPORT_BUILD_PATH_H_
#define TESTS_SUPPORT_BUILD_PATH_H_

#include <string>

namespace velk::test {

// A Linux path of a build output (an absolute path that CMake wrote into a
// test) as a Windows path: Wine shows the Linux root as drive Z:.
std::wstring WindowsPathOf(const char* linux_path);

}  // namespace velk::test

#endif  // TESTS_SUPPORT_BUILD_PATH_H_
