#include "client/engine_setup.h"

#include <windows.h>

#include <optional>

#include "win/command_line.h"
#include "win/text.h"

namespace velk {

std::vector<std::string> EntrypointArguments() {
  return EntrypointArgumentsOf(GetCommandLineW());
}

std::vector<std::string> EntrypointArgumentsOf(const wchar_t* command_line) {
  std::vector<std::string> arguments;
  std::optional<std::vector<std::wstring>> split =
      SplitCommandLine(command_line);
  if (!split || split->empty()) return arguments;
  // The first is the program's name, which is not the application's.
  for (size_t i = 1; i < split->size(); ++i) {
    arguments.push_back(Utf16ToUtf8((*split)[i].c_str()));
  }
  return arguments;
}

}  // namespace velk
