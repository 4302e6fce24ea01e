#include "common/win32/window_win32.h"

#include "dial/dial_plan.h"

namespace torvo::win32 {

void RaiseWindow(HWND window) {
  if (window == nullptr) return;
  if (IsIconic(window)) ShowWindow(window, SW_SHOWNORMAL);
  SetForegroundWindow(window);
  SetActiveWindow(window);
}

void PlaceDialAtLowerRight(HWND window) {
  const int x = GetSystemMetrics(SM_CXFULLSCREEN) - kDialSize;
  const int y = GetSystemMetrics(SM_CYFULLSCREEN) - kDialSize;
  SetWindowPos(window, HWND_TOPMOST, x, y, kDialSize, kDialSize, SWP_NOSIZE | SWP_HIDEWINDOW);
}

}  // namespace torvo::win32
