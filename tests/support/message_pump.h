// Handling this thread's window messages while a test waits.

#ifndef TESTS_SUPPORT_MESSAGE_PUMP_H_
#define TESTS_SUPPORT_MESSAGE_PUMP_H_

#include <functional>

namespace velk::test {

// Handles this thread's messages until `done` holds or `milliseconds` pass;
// answers whether it held.
bool PumpMessagesUntil(const std::function<bool()>& done,
                       unsigned long milliseconds = 5000);

// Handles this thread's messages for `milliseconds`.
void PumpMessagesFor(unsigned long milliseconds);

// Handles the messages already queued, without waiting for more.
void PumpQueuedMessages();

// Handles this thread's messages, waiting for each, until WM_QUIT.
void RunMessageLoop();

}  // namespace velk::test

#endif  // TESTS_SUPPORT_MESSAGE_PUMP_H_
