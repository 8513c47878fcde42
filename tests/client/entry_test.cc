// The client's entry: where the window is placed, and the real velk_vpn.exe
// run as a user would run it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "client/win32_window.h"
#include "client/window_centring.h"
#include "tests/support/build_path.h"
#include "tests/support/temporary_folder.h"
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

// The libraries that a program imports at start, lower-cased, read from the
// import directory of its image.
std::vector<std::string> StaticImports(const std::wstring& program) {
  ScopedModule image(
      LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!image) return {};
  // The handle's low bits mark a resource mapping; the image starts below.
  const auto* base = reinterpret_cast<const BYTE*>(
      reinterpret_cast<ULONG_PTR>(image.get()) & ~ULONG_PTR{3});
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt =
      reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  std::vector<std::string> names;
  if (directory.VirtualAddress == 0) return names;
  for (const auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
           base + directory.VirtualAddress);
       entry->Name != 0; ++entry) {
    std::string name = reinterpret_cast<const char*>(base + entry->Name);
    for (char& c : name) c = static_cast<char>(std::tolower(c));
    names.push_back(name);
  }
  return names;
}

// What the loader resolves before the entry runs must come from the system
// folder whatever lies beside the program: only libraries that Windows keeps
// among its known libraries, which it never looks for elsewhere.
TEST(ClientProgram, ImportsAtStartOnlyLibrariesTheSystemKnows) {
  const std::set<std::string> known = {
      "advapi32.dll", "combase.dll", "gdi32.dll",  "imm32.dll",
      "kernel32.dll", "msvcrt.dll",  "ole32.dll",  "oleaut32.dll",
      "rpcrt4.dll",   "sechost.dll", "shcore.dll", "shell32.dll",
      "shlwapi.dll",  "user32.dll",  "ws2_32.dll"};
  const std::vector<std::string> imports = StaticImports(ClientProgram());
  ASSERT_FALSE(imports.empty());
  for (const std::string& name : imports) {
    EXPECT_TRUE(known.count(name) == 1) << name;
  }
}

// The elevated setup copy must run nothing planted beside it: neither the
// embedder and the link plug-in, which only the interactive client needs,
// nor a system library that the loader would look for in the program's
// folder first.
TEST(ClientProgram, SetupModeLoadsNoLibraryPlantedBesideIt) {
  namespace fs = std::filesystem;
  const test::TemporaryFolder temporary(L"planted");
  const fs::path folder = temporary.path();
  fs::copy_file(ClientProgram(), folder / L"velk_vpn.exe");
  const fs::path planted = test::WindowsPathOf(VELK_PLANTED_LIBRARY);
  const wchar_t* names[] = {L"flutter_windows.dll",
                            L"url_launcher_windows_plugin.dll", L"dwmapi.dll",
                            L"crypt32.dll"};
  for (const wchar_t* name : names) fs::copy_file(planted, folder / name);

  // The marker works: a load leaves one.
  fs::copy_file(planted, folder / L"probe.dll");
  ScopedModule probe(LoadLibraryW((folder / L"probe.dll").c_str()));
  ASSERT_TRUE(probe);
  EXPECT_TRUE(fs::exists(folder / L"probe.dll.loaded"));

  EXPECT_EQ(test::RunProgram((folder / L"velk_vpn.exe").wstring(),
                             L"--tovrane-vpn-setup=\"C:\\no such\\tvc0.tmp\"",
                             folder.wstring()),
            10);
  for (const wchar_t* name : names) {
    EXPECT_FALSE(fs::exists(folder / (std::wstring(name) + L".loaded")))
        << fs::path(name);
  }
  probe.reset();
}

}  // namespace
}  // namespace velk
