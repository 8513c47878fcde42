// The program's own arguments, which the client's engine is started with
// (the application's files are flutter::EngineProjectIn).

#ifndef CLIENT_ENGINE_SETUP_H_
#define CLIENT_ENGINE_SETUP_H_

#include <string>
#include <vector>

namespace velk {

// The process's arguments after the program name, in UTF-8, for the
// engine's entry point.
std::vector<std::string> EntrypointArguments();

// The same for a given command line. An argument that is not valid UTF-16
// keeps its place as an empty string; a line that cannot be split gives no
// arguments.
std::vector<std::string> EntrypointArgumentsOf(const wchar_t* command_line);

}  // namespace velk

#endif  // CLIENT_ENGINE_SETUP_H_
