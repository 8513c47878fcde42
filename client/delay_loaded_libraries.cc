#include "client/delay_loaded_libraries.h"

#include <windows.h>

#include <string>

#include "win/program_path.h"

namespace velk {
namespace {

// Not known to the loader, so a copy beside the program would otherwise win.
constexpr const wchar_t* kSystemLibraries[] = {L"dwmapi.dll", L"crypt32.dll"};
// Shipped beside the program.
constexpr const wchar_t* kProgramLibraries[] = {
    L"flutter_windows.dll", L"url_launcher_windows_plugin.dll"};

}  // namespace

// Each delayed function binds at its first call, by the library's bare name,
// and the system then answers with the module already loaded under that
// name: loading them here decides where they come from. (GNU ld leaves the
// image's delay-import directory empty, so the runtime's bind-everything
// helper finds nothing to bind; binding stays lazy.)
bool LoadDelayedLibraries() {
  for (const wchar_t* name : kSystemLibraries) {
    if (LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32) ==
        nullptr) {
      return false;
    }
  }
  const std::wstring folder = GetProgramFolder();
  for (const wchar_t* name : kProgramLibraries) {
    const std::wstring path = folder + L"\\" + name;
    if (LoadLibraryExW(path.c_str(), nullptr,
                       LOAD_LIBRARY_SEARCH_DEFAULT_DIRS) == nullptr) {
      return false;
    }
  }
  return true;
}

}  // namespace velk
