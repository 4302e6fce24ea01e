// The thread-wide WH_CALLWNDPROC hook that frames every popup menu window of
// the user-interface thread with three one-pixel rings: it replaces a menu
// window's procedure with FramedMenuProc when the window is created or
// sized, and FramedMenuProc gives the previous procedure back when the
// window is hidden or destroyed.
#pragma once

#include <windows.h>

#include "menu/menu_frame.h"

namespace torvo::win32 {

// One record per framed menu window. The class-wide members are the hook's.
struct CMenuWndHook {
  HWND hWnd;

  static LRESULT CALLBACK MenuCallWndProc(int nCode, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK FramedMenuProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  // The window's record, created and entered when it has none.
  // Frames the window of `call` when it is a popup menu window being made.
  static void FrameIfMenuWindow(int nCode, const CWPSTRUCT* call);
  static CMenuWndHook* AttachRecord(HWND hWnd);
  // Gives the window its previous procedure back, then removes and deletes
  // the record. Does nothing for a null record.
  static void DetachRecord(CMenuWndHook* record);
  // Paints the three rings, outer first, along the inside of the window.
  static void DrawMenuFrame(const CMenuWndHook* record, HDC dc);

  static FramedWindowRecords<HWND, CMenuWndHook> recordMap;
  // Outer ring first; from the system colours until a menu sets its own.
  static FrameColors frameColors;
};

// Installs the hook on the calling thread once (the handle goes to
// Shell().menuHook) after making the record map's table; it stays
// installed for the life of the process.
void InstallMenuHook(HINSTANCE instance);

}  // namespace torvo::win32
