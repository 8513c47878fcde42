// What the client's engine is started with: the application's files beside
// the program and the program's own arguments.

#ifndef CLIENT_ENGINE_SETUP_H_
#define CLIENT_ENGINE_SETUP_H_

#include <string>
#include <vector>

#include "channels/engine_project.h"

namespace velk {

// The project of the application delivered in `data_folder`: its assets,
// ICU data and compiled code, with no entry-point arguments yet.
flutter::EngineProject BuildEngineProject(const std::wstring& data_folder);

// The process's arguments after the program name, in UTF-8, for the
// engine's entry point.
std::vector<std::string> EntrypointArguments();

// The same for a given command line. An argument that is not valid UTF-16
// keeps its place as an empty string; a line that cannot be split gives no
// arguments.
std::vector<std::string> EntrypointArgumentsOf(const wchar_t* command_line);

}  // namespace velk

#endif  // CLIENT_ENGINE_SETUP_H_
