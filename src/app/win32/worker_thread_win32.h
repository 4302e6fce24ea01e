// The upload worker's thread: a thread message queue serving worker requests
// until WM_QUIT.
#pragma once

#include <windows.h>

namespace torvo::win32 {

class CTorvoDlg;

// Creates the worker with the main window as its parameter; the handle and id
// go to Process().workerThread / workerThreadId. Returns once the thread's
// message queue exists, so that requests posted from now on are not lost.
bool StartWorkerThread(CTorvoDlg* window, DWORD stackSize);

}  // namespace torvo::win32
