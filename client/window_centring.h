// Placing the main window in the middle of its monitor's work area.

#ifndef CLIENT_WINDOW_CENTRING_H_
#define CLIENT_WINDOW_CENTRING_H_

#include <windows.h>

namespace velk {

// Where a window with the rectangle `window` goes to sit in the middle of
// `work_area`. A window wider than the area overhangs it equally on both
// sides; one taller than the area keeps its caption on the area's top edge.
POINT CentredOrigin(const RECT& work_area, const RECT& window);

// Moves `window` there on its monitor, keeping its size, Z order and
// activation. Leaves it where it is when the window or its monitor cannot be
// read.
void CentreOnWorkArea(HWND window);

}  // namespace velk

#endif  // CLIENT_WINDOW_CENTRING_H_
