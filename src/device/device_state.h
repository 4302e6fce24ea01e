// Flags shared between the UI thread and the upload worker.
#pragma once

#include <atomic>

#include "common/messages.h"

namespace torvo {

enum DevicePresence : int {
  kDeviceNotOpened = 0,  // the device did not open at start
  kDevicePresent = 1,
  kDeviceRemoved = 2,
};

struct DeviceFlags {
  std::atomic<int> devicePresence{kDeviceNotOpened};
  std::atomic<int> workerBusy{0};     // 1 while the worker serves a request
  std::atomic<int> abortTransfer{0};  // 1 asks running polls and macro loops to give up
  // 1 once shutdown has begun: requests still queued behind WM_QUIT are
  // dropped instead of running a whole upload each.
  std::atomic<int> stopRequested{0};
  // The active slot in force, kept equal to the main window's activeSlot by
  // the UI thread after every change. The reports that name the active slot
  // read it when they go out, because the keyboard may switch its own slot
  // while a request waits behind a long upload.
  std::atomic<int> activeSlot{0};
};

// The gate of every worker request, on either thread: requests are posted
// and served only while the device is open and present.
inline bool DevicePresent(int devicePresence) {
  return devicePresence == kDevicePresent;
}
inline bool DevicePresent(const DeviceFlags& flags) {
  return DevicePresent(flags.devicePresence.load());
}

}  // namespace torvo
