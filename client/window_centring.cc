#include "client/window_centring.h"

namespace velk {

POINT CentredOrigin(const RECT& work_area, const RECT& window) {
  const LONG work_width = work_area.right - work_area.left;
  const LONG work_height = work_area.bottom - work_area.top;
  const LONG window_width = window.right - window.left;
  const LONG window_height = window.bottom - window.top;
  // Integer division truncates toward zero, also for a window larger than
  // the area.
  POINT origin = {work_area.left + (work_width - window_width) / 2,
                  work_area.top + (work_height - window_height) / 2};
  if (origin.y < work_area.top) origin.y = work_area.top;
  return origin;
}

void CentreOnWorkArea(HWND window) {
  RECT bounds = {};
  if (window == nullptr || !GetWindowRect(window, &bounds)) return;
  HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO monitor_info = {};
  monitor_info.cbSize = sizeof(monitor_info);
  if (!GetMonitorInfoW(monitor, &monitor_info)) return;
  const POINT origin = CentredOrigin(monitor_info.rcWork, bounds);
  SetWindowPos(window, nullptr, origin.x, origin.y, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace velk
