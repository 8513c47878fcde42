// The main window under Wine's null display driver, in this process, with the
// stand-in embedder beside the test program.
#include <windows.h>

#include <dwmapi.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "channels/engine_project.h"
#include "client/flutter_window.h"
#include "client/platform_task.h"
#include "client/win32_window.h"
#include "stand_ins/embedder/embedder_testing.h"
#include "stand_ins/url_launcher/url_launcher_testing.h"
#include "tests/support/message_pump.h"

namespace velk {
namespace {

bool ClassRegistered() {
  WNDCLASSEXW info = {};
  info.cbSize = sizeof(info);
  return GetClassInfoExW(GetModuleHandleW(nullptr), kWindowClassName, &info);
}

// The main window with a record of what it was asked to do.
class RecordingWindow : public FlutterWindow {
 public:
  // The window alone: no VPN plug-in.
  RecordingWindow()
      : FlutterWindow(flutter::EngineProjectIn(L"data"), nullptr) {}

  int shows = 0;
  bool visible_when_created = true;
  CREATESTRUCTW created = {};

 protected:
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam,
                        LPARAM lparam) override {
    if (message == WM_CREATE) {
      created = *reinterpret_cast<const CREATESTRUCTW*>(lparam);
      visible_when_created = IsWindowVisible(window);
    }
    if (message == WM_SHOWWINDOW && wparam) ++shows;
    return FlutterWindow::HandleMessage(window, message, wparam, lparam);
  }
};

TEST(MainWindow, IsShownOnceAfterItsFirstFrame) {
  const int registrations = UrlLauncherWindowsRegistrationCount();
  RecordingWindow window;
  ASSERT_TRUE(window.Open(L"test", {10, 10}, {400, 740}));

  // The stand-in draws its frames from the message loop.
  EXPECT_FALSE(window.visible_when_created);
  EXPECT_FALSE(IsWindowVisible(window.NativeHandle()));
  EXPECT_EQ(window.shows, 0);
  HWND handle = window.NativeHandle();
  EXPECT_TRUE(test::PumpMessagesUntil(
      [&] { return IsWindowVisible(handle) != FALSE; }));
  EXPECT_FALSE(IsZoomed(handle));
  EXPECT_FALSE(IsIconic(handle));
  // Later frames must not show it again.
  test::PumpMessagesFor(200);
  EXPECT_EQ(window.shows, 1);
  EXPECT_EQ(UrlLauncherWindowsRegistrationCount(), registrations + 1);
}

// Placement in physical pixels for the monitor's DPI: origin and size scaled
// and truncated toward zero. Wine's display is only 768 pixels high and the
// system keeps a window within it, so the height asked for is read from the
// creation record, the rest from the window itself.
TEST(MainWindow, ScalesItsPlacementToTheMonitorDpi) {
  struct Case {
    unsigned int dpi;
    int x, y, width, height;
  };
  const Case cases[] = {
      {96, 10, 10, 400, 740},
      {144, 15, 15, 600, 1110},
  };
  for (const Case& expected : cases) {
    SCOPED_TRACE(expected.dpi);
    VelkEmbedderSetMonitorDpi(expected.dpi);
    RecordingWindow window;
    const bool opened = window.Open(L"test", {10, 10}, {400, 740});
    VelkEmbedderSetMonitorDpi(0);
    ASSERT_TRUE(opened);
    EXPECT_EQ(window.created.x, expected.x);
    EXPECT_EQ(window.created.y, expected.y);
    EXPECT_EQ(window.created.cx, expected.width);
    EXPECT_EQ(window.created.cy, expected.height);
    RECT bounds = {};
    ASSERT_TRUE(GetWindowRect(window.NativeHandle(), &bounds));
    EXPECT_EQ(bounds.left, expected.x);
    EXPECT_EQ(bounds.top, expected.y);
    EXPECT_EQ(bounds.right - bounds.left, expected.width);
  }
}

TEST(MainWindow, AppliesTheRectangleSuggestedForANewDpi) {
  RecordingWindow window;
  ASSERT_TRUE(window.Open(L"test", {10, 10}, {400, 740}));
  RECT suggested = {100, 40, 700, 640};
  SendMessageW(window.NativeHandle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
               reinterpret_cast<LPARAM>(&suggested));
  RECT bounds = {};
  ASSERT_TRUE(GetWindowRect(window.NativeHandle(), &bounds));
  EXPECT_EQ(bounds.left, 100);
  EXPECT_EQ(bounds.top, 40);
  EXPECT_EQ(bounds.right, 700);
  EXPECT_EQ(bounds.bottom, 640);
}

TEST(MainWindow, ContentFillsTheClientAreaAndTakesTheFocus) {
  Win32Window window;
  ASSERT_TRUE(window.Open(L"test", {10, 10}, {400, 300}));
  HWND content =
      CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10,
                      window.NativeHandle(), nullptr, nullptr, nullptr);
  ASSERT_NE(content, nullptr);
  window.AttachContent(content);
  EXPECT_EQ(GetFocus(), content);

  SetWindowPos(window.NativeHandle(), nullptr, 0, 0, 500, 420,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT client = {};
  GetClientRect(window.NativeHandle(), &client);
  RECT content_bounds = {};
  GetWindowRect(content, &content_bounds);
  MapWindowPoints(nullptr, window.NativeHandle(),
                  reinterpret_cast<POINT*>(&content_bounds), 2);
  EXPECT_TRUE(EqualRect(&content_bounds, &client));
  EXPECT_GT(client.right, 400);  // the resize took place

  SetFocus(nullptr);
  SendMessageW(window.NativeHandle(), WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(GetFocus(), content);
}

TEST(MainWindow, WindowClassLivesAsLongAsAnyWindowObject) {
  auto first = std::make_unique<Win32Window>();
  auto second = std::make_unique<Win32Window>();
  ASSERT_TRUE(first->Open(L"first", {10, 10}, {200, 200}));
  ASSERT_TRUE(ClassRegistered());

  // Closing the native window is not the end of the object.
  DestroyWindow(first->NativeHandle());
  EXPECT_EQ(first->NativeHandle(), nullptr);
  EXPECT_TRUE(ClassRegistered());

  first.reset();
  EXPECT_TRUE(ClassRegistered());
  second.reset();
  EXPECT_FALSE(ClassRegistered());

  // A later window registers it again.
  Win32Window third;
  EXPECT_TRUE(third.Open(L"third", {10, 10}, {200, 200}));
}

// Counts what happens to posted tasks; each task holds one Witness.
struct TaskLedger {
  std::atomic<int> runs{0};
  std::atomic<int> freed{0};
  std::atomic<DWORD> thread{0};
};

struct Witness {
  explicit Witness(TaskLedger* ledger) : ledger(ledger) {}
  ~Witness() { ledger->freed.fetch_add(1); }
  TaskLedger* ledger;
};

// Posts one task from a worker thread, as the plug-in's workers do.
void PostFromWorker(HWND window, TaskLedger* ledger) {
  std::thread worker([window, ledger] {
    auto witness = std::make_shared<Witness>(ledger);
    auto* task = new PlatformTask([witness] {
      witness->ledger->runs.fetch_add(1);
      witness->ledger->thread.store(GetCurrentThreadId());
    });
    witness.reset();
    EXPECT_TRUE(PostMessageW(window, kRunTaskMessage, 0,
                             reinterpret_cast<LPARAM>(task)));
  });
  worker.join();
}

TEST(MainWindow, RunsAPostedTaskOnThePlatformThreadOnceAndFreesIt) {
  RecordingWindow window;
  ASSERT_TRUE(window.Open(L"test", {10, 10}, {400, 740}));
  TaskLedger ledger;
  PostFromWorker(window.NativeHandle(), &ledger);

  EXPECT_TRUE(
      test::PumpMessagesUntil([&] { return ledger.freed.load() == 1; }));
  test::PumpMessagesFor(100);
  EXPECT_EQ(ledger.runs.load(), 1);
  EXPECT_EQ(ledger.freed.load(), 1);
  EXPECT_EQ(ledger.thread.load(), GetCurrentThreadId());
}

// Tasks still queued when the window goes are freed and never run, whether
// the user closed the window or its object was destroyed with it.
TEST(MainWindow, FreesTasksStillQueuedWhenTheWindowGoes) {
  for (const bool destroy_object : {false, true}) {
    SCOPED_TRACE(destroy_object ? "object destroyed" : "window closed");
    auto window = std::make_unique<RecordingWindow>();
    ASSERT_TRUE(window->Open(L"test", {10, 10}, {400, 740}));
    TaskLedger ledger;
    for (int i = 0; i < 3; ++i) PostFromWorker(window->NativeHandle(), &ledger);

    if (destroy_object) {
      window.reset();
    } else {
      // Closing posts the quit message before the tasks are discarded; it
      // must still reach the message loop.
      window->SetQuitWhenClosed(true);
      DestroyWindow(window->NativeHandle());
    }
    EXPECT_EQ(ledger.freed.load(), 3);
    MSG quit = {};
    EXPECT_EQ(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0,
              !destroy_object);
    test::PumpMessagesFor(100);
    EXPECT_EQ(ledger.runs.load(), 0);
  }
}

// Wine accepts the dark-mode attribute but cannot be asked for it, so the
// test points this program's import of DwmSetWindowAttribute at a recorder
// for as long as the patch lives.
class DwmImportPatch {
 public:
  explicit DwmImportPatch(void* replacement) {
    original_ = reinterpret_cast<uintptr_t>(GetProcAddress(
        GetModuleHandleW(L"dwmapi.dll"), "DwmSetWindowAttribute"));
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const DWORD imports =
        headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT]
            .VirtualAddress;
    for (auto* module =
             reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports);
         original_ != 0 && imports != 0 && module->Name != 0; ++module) {
      for (auto* slot = reinterpret_cast<uintptr_t*>(base + module->FirstThunk);
           *slot != 0; ++slot) {
        if (*slot == original_) slot_ = slot;
      }
    }
    if (slot_ != nullptr) Write(reinterpret_cast<uintptr_t>(replacement));
  }
  ~DwmImportPatch() {
    if (slot_ != nullptr) Write(original_);
  }
  bool active() const { return slot_ != nullptr; }

 private:
  void Write(uintptr_t value) {
    DWORD protection = 0;
    VirtualProtect(slot_, sizeof(*slot_), PAGE_READWRITE, &protection);
    *slot_ = value;
    VirtualProtect(slot_, sizeof(*slot_), protection, &protection);
  }

  uintptr_t original_ = 0;
  uintptr_t* slot_ = nullptr;
};

struct AttributeCall {
  HWND window;
  DWORD attribute;
  BOOL value;
};
std::vector<AttributeCall>* attribute_calls = nullptr;

HRESULT WINAPI RecordAttribute(HWND window, DWORD attribute, LPCVOID value,
                               DWORD size) {
  if (attribute_calls != nullptr && size == sizeof(BOOL)) {
    attribute_calls->push_back(
        {window, attribute, *static_cast<const BOOL*>(value)});
  }
  return S_OK;
}

constexpr wchar_t kThemeKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";

void SetLightTheme(DWORD light) {
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kThemeKey, L"AppsUseLightTheme",
                            REG_DWORD, &light, sizeof(light)),
            ERROR_SUCCESS);
}

TEST(MainWindow, FrameFollowsTheUsersTheme) {
  std::vector<AttributeCall> calls;
  attribute_calls = &calls;
  DwmImportPatch patch(reinterpret_cast<void*>(&RecordAttribute));
  ASSERT_TRUE(patch.active());

  SetLightTheme(0);
  RecordingWindow window;
  ASSERT_TRUE(window.Open(L"test", {10, 10}, {400, 740}));
  HWND handle = window.NativeHandle();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].window, handle);
  EXPECT_EQ(calls[0].attribute, 20u);
  EXPECT_TRUE(calls[0].value);

  SetLightTheme(1);
  SendMessageW(handle, WM_DWMCOLORIZATIONCOLORCHANGED, 0, 0);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].attribute, 20u);
  EXPECT_FALSE(calls[1].value);

  // Without the setting the frame is left alone.
  ASSERT_EQ(
      RegDeleteKeyValueW(HKEY_CURRENT_USER, kThemeKey, L"AppsUseLightTheme"),
      ERROR_SUCCESS);
  SendMessageW(handle, WM_DWMCOLORIZATIONCOLORCHANGED, 0, 0);
  EXPECT_EQ(calls.size(), 2u);
  attribute_calls = nullptr;
}

}  // namespace
}  // namespace velk
