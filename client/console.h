// The client's console. A GUI program has none of its own; its diagnostic
// output is visible only when it borrows one.

#ifndef CLIENT_CONSOLE_H_
#define CLIENT_CONSOLE_H_

namespace velk {

// Borrows the console of the process that started the client, if it has one;
// otherwise, under a debugger, creates one. Without either the client runs
// with no console and its output goes nowhere.
void AttachOutputConsole();

// Creates a console for the process and sends the standard output and error
// streams, the engine's included, to it.
void AttachDebugConsole();

}  // namespace velk

#endif  // CLIENT_CONSOLE_H_
