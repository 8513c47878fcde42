#include "tests/support/message_pump.h"

#include <windows.h>

namespace velk::test {

bool PumpMessagesUntil(const std::function<bool()>& done,
                       unsigned long milliseconds) {
  const ULONGLONG deadline = GetTickCount64() + milliseconds;
  while (!done()) {
    if (GetTickCount64() > deadline) return false;
    PumpQueuedMessages();
    Sleep(1);
  }
  return true;
}

void PumpMessagesFor(unsigned long milliseconds) {
  (void)PumpMessagesUntil([] { return false; }, milliseconds);
}

void PumpQueuedMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace velk::test
