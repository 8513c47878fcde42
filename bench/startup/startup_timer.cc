// Times programs from their start until they show a window.
//
//   startup_timer RUNS PROGRAM-A PROGRAM-B
//
// Runs each program RUNS times, alternating A and B, each from its own
// folder. A run's time is from CreateProcessW until a visible top-level
// window of the new process exists (polled every millisecond or so). Once
// the window shows, the process's private bytes and handle count are read;
// then the window is closed and the program must end with 0. Prints every
// run, the medians and the ratio of A's median to B's.

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/test_process.h"

namespace {

struct Run {
  double milliseconds = 0;
  SIZE_T private_bytes = 0;
  DWORD handles = 0;
};

struct Search {
  DWORD process_id;
  HWND window;
};

BOOL CALLBACK FindShownWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->process_id && IsWindowVisible(window)) {
    search->window = window;
    return FALSE;
  }
  return TRUE;
}

// The system's table of open handles, by owning process. Wine answers
// GetProcessHandleCount for another process with 0, but keeps this table.
struct SystemHandleEntry {
  ULONG owner_process_id;
  BYTE object_type;
  BYTE flags;
  USHORT value;
  PVOID object;
  ULONG access;
};
struct SystemHandleTable {
  ULONG count;
  SystemHandleEntry entries[1];
};
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);

DWORD CountHandlesOf(DWORD process_id) {
  using QueryFunction = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  auto query =
      reinterpret_cast<QueryFunction>(reinterpret_cast<void*>(GetProcAddress(
          GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (query == nullptr) return 0;
  std::vector<BYTE> buffer(1 << 16);
  LONG status;
  while ((status = query(kSystemHandleInformation, buffer.data(),
                         static_cast<ULONG>(buffer.size()), nullptr)) ==
         kInfoLengthMismatch) {
    buffer.resize(buffer.size() * 2);
  }
  if (status < 0) return 0;
  const auto* table = reinterpret_cast<const SystemHandleTable*>(buffer.data());
  DWORD count = 0;
  for (ULONG i = 0; i < table->count; ++i) {
    count += table->entries[i].owner_process_id == process_id;
  }
  return count;
}

double Elapsed(const LARGE_INTEGER& from, const LARGE_INTEGER& frequency) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

bool TimeOnce(const std::wstring& program, Run* run) {
  const std::wstring folder = program.substr(0, program.find_last_of(L'\\'));
  velk::test::TestProcess process;
  LARGE_INTEGER frequency;
  LARGE_INTEGER start;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (!process.Start(program, L"", folder)) {
    std::fprintf(stderr, "cannot start %ls (%lu)\n", program.c_str(),
                 GetLastError());
    return false;
  }

  Search search = {process.id(), nullptr};
  while (search.window == nullptr) {
    if (WaitForSingleObject(process.handle(), 0) == WAIT_OBJECT_0 ||
        Elapsed(start, frequency) > 60000) {
      std::fprintf(stderr, "%ls showed no window\n", program.c_str());
      return false;  // a stuck run is ended with the process object
    }
    EnumWindows(FindShownWindow, reinterpret_cast<LPARAM>(&search));
    if (search.window == nullptr) Sleep(1);
  }
  run->milliseconds = Elapsed(start, frequency);

  PROCESS_MEMORY_COUNTERS_EX memory = {};
  memory.cb = sizeof(memory);
  if (GetProcessMemoryInfo(process.handle(),
                           reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                           sizeof(memory))) {
    // Wine leaves PrivateUsage empty; PagefileUsage is the same quantity
    // (the process's committed private memory).
    run->private_bytes =
        memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage;
  }
  if (!GetProcessHandleCount(process.handle(), &run->handles) ||
      run->handles == 0) {
    run->handles = CountHandlesOf(process.id());
  }

  PostMessageW(search.window, WM_CLOSE, 0, 0);
  if (process.Wait(30000) != 0) {
    std::fprintf(stderr, "%ls did not end with 0 after closing\n",
                 program.c_str());
    return false;
  }
  return true;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle]
                                : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: startup_timer RUNS PROGRAM-A PROGRAM-B\n");
    return 2;
  }
  const int runs = _wtoi(argv[1]);
  const std::wstring programs[2] = {argv[2], argv[3]};
  if (runs < 1) return 2;

  std::vector<double> times[2];
  Run last[2];
  for (int i = 0; i < runs; ++i) {
    for (int which = 0; which < 2; ++which) {
      Run run;
      if (!TimeOnce(programs[which], &run)) return 1;
      times[which].push_back(run.milliseconds);
      last[which] = run;
      std::printf("run %d %c %.1f ms\n", i + 1, 'A' + which, run.milliseconds);
    }
  }
  const double medians[2] = {Median(times[0]), Median(times[1])};
  for (int which = 0; which < 2; ++which) {
    std::printf(
        "%c %ls: median %.1f ms (min %.1f, max %.1f) of %d; shown: "
        "%.1f MiB private, %lu handles\n",
        'A' + which, programs[which].c_str(), medians[which],
        *std::min_element(times[which].begin(), times[which].end()),
        *std::max_element(times[which].begin(), times[which].end()), runs,
        last[which].private_bytes / (1024.0 * 1024.0), last[which].handles);
  }
  std::printf("ratio A/B: %.2f\n", medians[0] / medians[1]);
  return 0;
}
