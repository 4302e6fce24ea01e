// Values of the device link, one per process: the flags shared with the
// upload worker, the bound device library and the worker's thread.
#pragma once

#include <windows.h>

#include <vector>

#include "device/device_library.h"
#include "device/device_state.h"
#include "device/win32/module_loader_win32.h"

namespace torvo::win32 {

struct DeviceLinkValues {
  DeviceFlags deviceFlags;
  HANDLE workerThread = nullptr;
  DWORD workerThreadId = 0;
  // Set when a thread was left inside the device library at shutdown (its
  // handle is kept in abandonedCalls): unless it returns in time
  // (AbandonedCallsReturned), the library is not closed or freed, and the
  // process ends without running the destructors of what that thread may
  // still use.
  bool deviceCallsAbandoned = false;
  std::vector<HANDLE> abandonedCalls;
  Win32ModuleLoader moduleLoader;
  BoundDeviceLibrary deviceLibrary{moduleLoader};
};

DeviceLinkValues& DeviceLink();

// Notes a thread left inside the device library; takes its handle.
void AbandonDeviceCall(HANDLE thread);
// Waits up to `waitMs` for every abandoned call to return. True when none is
// left inside the library then (deviceCallsAbandoned is cleared).
bool AbandonedCallsReturned(DWORD waitMs);

}  // namespace torvo::win32
