#include "tunnel_host/config_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/tunnel_host/host_folder.h"

namespace velk {
namespace {

using test::HostFolder;

TEST(LoadConfigText, ConvertsUtf8UpToTheFirstNulByte) {
  HostFolder folder(HostFolder::Library::kNone);
  ASSERT_TRUE(folder.ok());
  struct Case {
    std::string bytes;
    std::wstring text;
  };
  const Case cases[] = {
      // EF BB BF: byte-order mark, kept; D0 96: U+0416; E2 82 AC: U+20AC.
      {"\xEF\xBB\xBF"
       "A=\xD0\x96\xE2\x82\xAC\n",
       L"\xFEFF"
       L"A=\x0416\x20AC\n"},
      {std::string("DNS = 1.1.1.1\0Endpoint = x:1", 28), L"DNS = 1.1.1.1"},
      {std::string("\0abc", 4), L""},  // empty, but loaded
      // No NUL at all, ending on a read-chunk boundary or a cut sequence:
      // the conversion must stop at the file's last byte.
      {std::string(8192, 'x'), std::wstring(8192, L'x')},
      {"ab\xD0", L"ab\xFFFD"},
  };
  for (const Case& test_case : cases) {
    folder.Write(L"c.conf", test_case.bytes);
    std::wstring text = L"untouched";
    EXPECT_TRUE(LoadConfigText(folder.Path(L"c.conf"), text));
    EXPECT_EQ(text, test_case.text);
  }
}

TEST(LoadConfigText, FailsForMissingOrEmptyFilesButNotForSharedOnes) {
  HostFolder folder(HostFolder::Library::kNone);
  ASSERT_TRUE(folder.ok());
  std::wstring text = L"untouched";
  EXPECT_FALSE(LoadConfigText(folder.Path(L"missing.conf"), text));
  folder.Write(L"c.conf", "");
  EXPECT_FALSE(LoadConfigText(folder.Path(L"c.conf"), text));
  EXPECT_EQ(text, L"untouched");

  // The client may hold the file open for writing meanwhile.
  folder.Write(L"c.conf", "MTU = 1280");
  HANDLE writer =
      CreateFileW(folder.Path(L"c.conf").c_str(), GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(LoadConfigText(folder.Path(L"c.conf"), text));
  EXPECT_EQ(text, L"MTU = 1280");
  CloseHandle(writer);
}

}  // namespace
}  // namespace velk
