// The notification-area icon (id 102, callback message 1036) of the main
// window and its menu: a left click opens or raises the configurator, a
// right click shows "open the configurator" (the default item) and "exit".
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "app/tray.h"

namespace torvo::win32 {

// The full record of the build: the shipped 32-bit program hands the shell
// 956 bytes.
static_assert(sizeof(void*) != 4 || sizeof(NOTIFYICONDATAW) == 956,
              "NOTIFYICONDATAW must be the full 956-byte record on 32-bit Windows");

// The icon of the main window. It exists exactly between Add and Remove; the
// small shell icon of the program file is kept as long as the icon shows.
class CTrayIcon {
 public:
  CTrayIcon() = default;
  ~CTrayIcon();
  CTrayIcon(const CTrayIcon&) = delete;
  CTrayIcon& operator=(const CTrayIcon&) = delete;

  // AddTrayIcon: the program file's small icon, the tip (string 1002),
  // callback 1036, id 102.
  void Add(HWND window);
  // RemoveTrayIcon: deletes the icon of this window (NIM_DELETE, id 102).
  void Remove(HWND window);
  // The shell's taskbar was re-created ("TaskbarCreated"): the icon comes
  // back if it was showing.
  void OnTaskbarCreated(HWND window);
  bool Shown() const { return shown_; }

 private:
  void ReleaseIcon();

  NOTIFYICONDATAW trayIcon_{};
  HICON icon_ = nullptr;
  bool shown_ = false;
};

// The message the shell broadcasts when its taskbar has been (re)created.
UINT TaskbarCreatedMessage();

// The icon's menu at the pointer: "open the configurator" (the default
// item), a separator and "exit"; its commands go to `window`.
void TrackTrayMenu(HWND window);

}  // namespace torvo::win32
