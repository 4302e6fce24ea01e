#include "app/win32/tray_win32.h"

namespace torvo::win32 {

void AddTrayIcon(NOTIFYICONDATAW&, HWND) {}

void RemoveTrayIcon(NOTIFYICONDATAW& trayIcon, HWND window) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = window;
  data.uID = kTrayIconId;
  Shell_NotifyIconW(NIM_DELETE, &data);
  trayIcon = NOTIFYICONDATAW{};
}

}  // namespace torvo::win32
