// How work reaches the platform thread from other threads: a task posted to
// the main window as a message, which the window runs and frees.

#ifndef CLIENT_PLATFORM_TASK_H_
#define CLIENT_PLATFORM_TASK_H_

#include <windows.h>

#include <functional>

namespace velk {

// A unit of work for the platform thread.
using PlatformTask = std::function<void()>;

// Posted to the main window with a heap-allocated PlatformTask in lParam
// (wParam 0). The window runs the task on the platform thread and deletes it.
inline constexpr UINT kRunTaskMessage = WM_APP + 1;

}  // namespace velk

#endif  // CLIENT_PLATFORM_TASK_H_
