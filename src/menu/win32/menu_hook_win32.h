// The thread-wide WH_CALLWNDPROC hook that will frame the popup menu windows
// of the user-interface thread. For now it only passes every call on.
#pragma once

#include <windows.h>

namespace torvo::win32 {

LRESULT CALLBACK MenuCallWndProc(int code, WPARAM wParam, LPARAM lParam);

// Installs the hook on the calling thread once (the handle goes to
// Process().menuHook); it stays installed for the life of the process.
void InstallMenuHook(HINSTANCE instance);

}  // namespace torvo::win32
