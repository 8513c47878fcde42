// A stand-in that reached a package unmarked could be taken for the real
// library: each one must name itself a stand-in in its version information,
// where the file's properties show it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The version resource's FileDescription, or an empty text when the file has
// none.
std::wstring FileDescriptionOf(const wchar_t* path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  if (size == 0) return std::wstring();
  std::vector<BYTE> info(size);
  if (!GetFileVersionInfoW(path, 0, size, info.data())) return std::wstring();
  wchar_t* text = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(info.data(),
                      L"\\StringFileInfo\\040904B0\\FileDescription",
                      reinterpret_cast<void**>(&text), &length) ||
      text == nullptr || length == 0) {
    return std::wstring();
  }
  return std::wstring(text);
}

TEST(StandInMarking, EveryStandInSaysSoInItsFileDescription) {
  const struct {
    const wchar_t* path;
    const wchar_t* stands_in_for;
  } stand_ins[] = {
      {EMBEDDER_STAND_IN, L"Flutter Windows embedder"},
      {URL_LAUNCHER_STAND_IN, L"url_launcher"},
      {TUNNEL_STAND_IN, L"tunnel library"},
  };
  for (const auto& stand_in : stand_ins) {
    SCOPED_TRACE(testing::Message() << "file " << stand_in.path);
    const std::wstring description = FileDescriptionOf(stand_in.path);
    EXPECT_EQ(description.rfind(L"STAND-IN for ", 0), 0u);
    EXPECT_NE(description.find(stand_in.stands_in_for), std::wstring::npos);
    EXPECT_NE(description.find(L"not the real library"), std::wstring::npos);
  }
}

}  // namespace
