// The dial's context menu: one owner-drawn item (string 1042) at the mouse
// pointer; choosing it sends the command 2001 to the owner window.
#pragma once

#include <windows.h>

namespace torvo::win32 {

// Builds, shows and destroys the menu; returns when it has closed. Sets the
// blue and white menu frame, which stays for every later menu.
void ShowDialContextMenu(HWND owner);

}  // namespace torvo::win32
