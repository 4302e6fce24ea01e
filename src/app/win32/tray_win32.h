// The notification-area icon (id 102, callback message 1036) of the main
// window.
#pragma once

#include <windows.h>
#include <shellapi.h>

namespace torvo::win32 {

inline constexpr UINT kTrayIconId = 102;
inline constexpr UINT MSG_TRAY_NOTIFY = 1036;

// Shows the icon while the device is present. The tray arrives later: until
// then the record stays empty and nothing is shown.
void AddTrayIcon(NOTIFYICONDATAW& trayIcon, HWND window);
// Removes the icon of this window (Shell_NotifyIconW NIM_DELETE, id 102).
void RemoveTrayIcon(NOTIFYICONDATAW& trayIcon, HWND window);

}  // namespace torvo::win32
