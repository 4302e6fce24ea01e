// Flags shared between the UI thread and the upload worker.
#pragma once

#include <atomic>

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
};

// The worker's thread message and its requests.
inline constexpr unsigned MSG_WORKER_REQUEST = 1649;
enum WorkerRequest : unsigned {
  REQ_APPLY = 1,
  REQ_FULL_UPLOAD = 2,
  REQ_SWITCH_SLOT = 3,
  // The configurator's apply of the active slot only: the active-slot
  // report, then the configurator is answered as after REQ_APPLY (it waits
  // for that answer to enable its OK and Apply buttons again).
  REQ_APPLY_SLOT_ONLY = 4,
};

}  // namespace torvo
