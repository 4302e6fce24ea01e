#include "device/win32/device_link_win32.h"

namespace torvo::win32 {

DeviceLinkValues& DeviceLink() {
  static DeviceLinkValues values;
  return values;
}

void AbandonDeviceCall(HANDLE thread) {
  DeviceLinkValues& values = DeviceLink();
  values.deviceCallsAbandoned = true;
  if (thread != nullptr) values.abandonedCalls.push_back(thread);
}

bool AbandonedCallsReturned(DWORD waitMs) {
  DeviceLinkValues& values = DeviceLink();
  if (!values.deviceCallsAbandoned) return true;
  const ULONGLONG start = GetTickCount64();
  for (HANDLE thread : values.abandonedCalls) {
    const ULONGLONG spent = GetTickCount64() - start;
    const DWORD left = spent < waitMs ? static_cast<DWORD>(waitMs - spent) : 0;
    if (WaitForSingleObject(thread, left) != WAIT_OBJECT_0) return false;
  }
  // Every call left behind has returned: nothing of ours is inside the library.
  for (HANDLE thread : values.abandonedCalls) CloseHandle(thread);
  values.abandonedCalls.clear();
  values.deviceCallsAbandoned = false;
  return true;
}

}  // namespace torvo::win32
