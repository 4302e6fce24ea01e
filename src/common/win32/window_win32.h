// Window helpers of the shell: raising a window, and the dial's place on
// the screen.
#pragma once

#include <windows.h>

namespace torvo::win32 {

// Restores a minimised window, then brings it forward and activates it.
// Does nothing for a null window.
void RaiseWindow(HWND window);

// Places `window` topmost at the lower right of the screen, its size the
// dial's (185 x 185) from the corner, and hides it (SWP_NOSIZE |
// SWP_HIDEWINDOW: the size itself is the composition's).
void PlaceDialAtLowerRight(HWND window);

}  // namespace torvo::win32
