// Where the running program lies.

#ifndef WIN_PROGRAM_PATH_H_
#define WIN_PROGRAM_PATH_H_

#include <string>

namespace velk {

// Full path of the running program; empty when the system cannot tell.
std::wstring GetProgramPath();

// Folder of the running program, without a trailing separator; empty when
// its path has no separator.
std::wstring GetProgramFolder();

}  // namespace velk

#endif  // WIN_PROGRAM_PATH_H_
