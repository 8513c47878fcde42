// The system's splitting of a command line into arguments.

#ifndef WIN_COMMAND_LINE_H_
#define WIN_COMMAND_LINE_H_

#include <optional>
#include <string>
#include <vector>

namespace velk {

// Splits `command_line` by the system's rules (CommandLineToArgvW): the first
// argument is the program name. None when the system cannot split it.
std::optional<std::vector<std::wstring>> SplitCommandLine(
    const wchar_t* command_line);

}  // namespace velk

#endif  // WIN_COMMAND_LINE_H_
