// Values of the device link, one per process: the flags shared with the
// upload worker, the bound device library and the worker's thread.
#pragma once

#include <windows.h>

#include "device/device_library.h"
#include "device/device_state.h"
#include "device/win32/module_loader_win32.h"

namespace torvo::win32 {

struct DeviceLinkValues {
  DeviceFlags deviceFlags;
  HANDLE workerThread = nullptr;
  DWORD workerThreadId = 0;
  // Set when a thread was left inside the device library at shutdown: the
  // library is then not freed, and the process ends without running the
  // destructors of what that thread may still use.
  bool deviceCallsAbandoned = false;
  Win32ModuleLoader moduleLoader;
  BoundDeviceLibrary deviceLibrary{moduleLoader};
};

DeviceLinkValues& DeviceLink();

}  // namespace torvo::win32
