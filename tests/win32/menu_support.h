// Support for the menu and tray tests: popup menu windows of a process, the
// tray icon's presence, screen pixels, GDI object counts and screenshots.
#pragma once

#include <windows.h>

#include <string>

namespace torvo::testing {

// The visible popup menu window ("#32768") of a process, or null.
HWND VisibleMenuWindowOf(DWORD processId);
// True when the shell knows the icon (window, 102): NIM_MODIFY succeeds.
bool TrayIconExists(HWND window);
// The screen pixel as a COLORREF (0x00BBGGRR).
COLORREF ScreenPixel(int x, int y);
// Screen pixels inside `rect` darker than mid-grey (text strokes on a light menu).
int DarkPixelsIn(const RECT& rect);
// GDI objects of a process (GetGuiResources, or the process's GDI handle
// table where the platform does not count them); -1 when unknown.
long GdiObjectCount(HANDLE process);
// Posts a key press (down and up) to a window.
void PostKey(HWND window, WPARAM key);
// With TORVO_SCREENSHOT_DIR set (a Unix folder), announces `name` there and
// waits up to 30 s for a watcher to take the picture; otherwise nothing.
void OfferScreenshot(const std::string& name);

}  // namespace torvo::testing
