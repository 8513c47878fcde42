// The client's entry: where the window is placed, and the real velk_vpn.exe
// run as a user would run it.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "client/win32_window.h"
#include "client/window_centring.h"
#include "tests/support/test_process.h"
#include "tests/support/ui_transcript.h"
#include "win/program_path.h"
#include "win/text.h"

namespace velk {
namespace {

TEST(WindowCentring, CentresOnTheWorkAreaKeepingTheCaptionReachable) {
  struct Case {
    const char* name;
    RECT work_area;
    RECT window;
    POINT origin;
  };
  const Case cases[] = {
      {"fits", {0, 0, 1024, 768}, {10, 10, 410, 750}, {312, 14}},
      {"work area offset", {100, 40, 1100, 840}, {0, 0, 400, 600}, {400, 140}},
      {"taller", {0, 30, 1024, 798}, {15, 15, 615, 1125}, {212, 30}},
      {"wider", {0, 0, 1000, 768}, {0, 0, 1200, 400}, {-100, 184}},
      // (1000 - 1003) / 2 truncates to -1, not -2.
      {"odd overhang", {0, 0, 1000, 768}, {0, 0, 1003, 400}, {-1, 184}},
      {"secondary monitor left",
       {-1280, 0, 0, 1024},
       {0, 0, 400, 740},
       {-840, 142}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const POINT origin = CentredOrigin(c.work_area, c.window);
    EXPECT_EQ(origin.x, c.origin.x);
    EXPECT_EQ(origin.y, c.origin.y);
  }
}

// velk_vpn.exe beside this test, with the stand-in libraries.
std::wstring ClientProgram() { return GetProgramFolder() + L"\\velk_vpn.exe"; }

bool StartClient(const std::wstring& arguments, test::TestProcess* client) {
  return client->Start(ClientProgram(), arguments, GetProgramFolder());
}

// The process's visible main window, once it shows.
HWND WaitForShownWindow(const test::TestProcess& client, DWORD milliseconds) {
  const ULONGLONG deadline = GetTickCount64() + milliseconds;
  while (GetTickCount64() < deadline) {
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, kWindowClassName,
                                   nullptr)) != nullptr) {
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if (owner == client.id() && IsWindowVisible(window)) return window;
    }
    if (WaitForSingleObject(client.handle(), 20) == WAIT_OBJECT_0) break;
  }
  return nullptr;
}

// One image's entry in an icon group, as the resource compiler stores it
// after the group's 6-byte header.
#pragma pack(push, 2)
struct IconGroupEntry {
  BYTE width;  // 0 for 256
  BYTE height;
  BYTE colour_count;
  BYTE reserved;
  WORD planes;
  WORD bit_count;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

TEST(ClientProgram, CarriesItsManifestAndIconGroup) {
  ScopedModule program(LoadLibraryExW(
      ClientProgram().c_str(), nullptr,
      LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  ASSERT_TRUE(program);

  HRSRC manifest_info = FindResourceW(program.get(), MAKEINTRESOURCEW(1),
                                      MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_NE(manifest_info, nullptr);
  const std::string manifest(static_cast<const char*>(LockResource(
                                 LoadResource(program.get(), manifest_info))),
                             SizeofResource(program.get(), manifest_info));
  for (const char* part :
       {"level=\"asInvoker\"", ">PerMonitorV2<",
        "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>"}) {
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
  }

  HRSRC group_info =
      FindResourceW(program.get(), MAKEINTRESOURCEW(101), RT_GROUP_ICON);
  ASSERT_NE(group_info, nullptr);
  const auto* group = static_cast<const BYTE*>(
      LockResource(LoadResource(program.get(), group_info)));
  ASSERT_NE(group, nullptr);
  const WORD count = *reinterpret_cast<const WORD*>(group + 4);
  const auto* entries = reinterpret_cast<const IconGroupEntry*>(group + 6);
  std::vector<int> sizes;
  for (WORD i = 0; i < count; ++i) {
    const IconGroupEntry& entry = entries[i];
    EXPECT_EQ(entry.bit_count, 32) << "image " << i;
    EXPECT_EQ(entry.width, entry.height) << "image " << i;
    sizes.push_back(entry.width == 0 ? 256 : entry.width);
  }
  EXPECT_EQ(sizes, (std::vector<int>{16, 20, 24, 32, 40, 48, 64, 128, 256}));
}

TEST(ClientProgram, OpensCentredAndEndsWithZeroWhenClosed) {
  test::TestProcess client;
  ASSERT_TRUE(StartClient(L"", &client));
  HWND window = WaitForShownWindow(client, 20000);
  ASSERT_NE(window, nullptr) << "exit code " << client.Wait(0);

  wchar_t title[16] = {};
  GetWindowTextW(window, title, 16);
  EXPECT_STREQ(title, L"\u0422\u043e\u0432\u0440\u0430\u043d");

  // 400 x 740 at Wine's 96 DPI, in the middle of the work area, the caption
  // on the area's top edge when the window is taller than the area.
  RECT work = {};
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
  RECT bounds = {};
  ASSERT_TRUE(GetWindowRect(window, &bounds));
  EXPECT_EQ(bounds.right - bounds.left, 400);
  EXPECT_EQ(bounds.bottom - bounds.top, 740);
  EXPECT_EQ(bounds.left, work.left + (work.right - work.left - 400) / 2);
  const LONG centred_top = work.top + (work.bottom - work.top - 740) / 2;
  EXPECT_EQ(bounds.top, centred_top < work.top ? work.top : centred_top);

  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(client.Wait(20000), 0);
}

TEST(ClientProgram, HandsItsArgumentsToTheInterface) {
  const std::wstring folder = GetProgramFolder();
  const std::wstring script = folder + L"\\close_script.txt";
  const std::wstring transcript = folder + L"\\arguments_transcript.txt";
  std::ofstream(std::filesystem::path(script), std::ios::binary) << "close\n";
  (void)DeleteFileW(transcript.c_str());  // absent on the first run

  test::TestProcess client;
  // The interface's script closes the window at once.
  ASSERT_TRUE(
      StartClient(L"--ui-script=close_script.txt "
                  L"--ui-transcript=arguments_transcript.txt "
                  L"\"two words\" \xD800 last",
                  &client));
  EXPECT_EQ(client.Wait(20000), 0);
  test::UiTranscript recorded;
  ASSERT_TRUE(test::ReadUiTranscript(Utf16ToUtf8(transcript), &recorded));
  EXPECT_EQ(
      recorded.Arguments(),
      (std::vector<std::string>{"--ui-script=close_script.txt",
                                "--ui-transcript=arguments_transcript.txt",
                                "two words", "", "last"}));
}

TEST(ClientProgram, SetupArgumentRunsTheSetupModeInstead) {
  test::TestProcess client;
  // A hand-off file that does not exist: the setup mode's code 10, and no
  // window, whatever else the command line holds.
  ASSERT_TRUE(StartClient(
      L"--demo-settings=none --tovrane-vpn-setup=\"C:\\no such\\tvc0.tmp\"",
      &client));
  EXPECT_EQ(client.Wait(20000), 10);
  EXPECT_EQ(WaitForShownWindow(client, 0), nullptr);
}

}  // namespace
}  // namespace velk
