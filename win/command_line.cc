#include "win/command_line.h"

// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include "win/scoped_handle.h"

namespace velk {

std::optional<std::vector<std::wstring>> SplitCommandLine(
    const wchar_t* command_line) {
  int count = 0;
  const ScopedLocalPointer<wchar_t**> argv(
      CommandLineToArgvW(command_line, &count));
  if (!argv) return std::nullopt;
  return std::vector<std::wstring>(argv.get(), argv.get() + count);
}

}  // namespace velk
