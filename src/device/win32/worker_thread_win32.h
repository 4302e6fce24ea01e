// The upload worker's thread, and short device calls run on a thread of their
// own so that the caller can stop waiting for them.
//
// What a thread of this file uses lives on the heap, apart from the main
// window: when the thread does not end in time at shutdown (a call into the
// device library that never returns), that memory is deliberately kept, the
// device library stays loaded and the process ends without running the
// destructors that would free what the thread may still touch.
#pragma once

#include <windows.h>

#include <functional>

#include "settings/config_block.h"

namespace torvo {
class DeviceProtocol;
}

namespace torvo::win32 {

struct WorkerContext;

class UploadWorkerThread {
 public:
  enum class StopResult { kNotRunning, kEnded, kAbandoned };

  // Stop() either deletes the context or deliberately keeps it for a thread
  // that may still use it; nothing is left for the destructor to free.
  UploadWorkerThread() = default;
  ~UploadWorkerThread() = default;
  UploadWorkerThread(const UploadWorkerThread&) = delete;
  UploadWorkerThread& operator=(const UploadWorkerThread&) = delete;

  // Creates the worker; the handle and id go to DeviceLink().workerThread /
  // workerThreadId. Returns at once: the new thread gets ready (the loader's
  // thread notifications, its message queue) while the caller goes on, and
  // the first post waits for its queue, so that no request is lost.
  bool Start(DWORD stackSize);
  // Posts request `request` with `parameter` as its lParam, queuing beside
  // it what it uploads of `block` (WorkerRequests); false when the worker is
  // not running or the post failed (nothing stays queued then).
  bool Post(WPARAM request, LPARAM parameter, const ConfigBlock& block);
  // Posts WM_QUIT and waits up to `waitMs` for the thread. A thread still
  // running then is abandoned: its context is kept for the rest of the
  // process and DeviceLink().deviceCallsAbandoned is set.
  StopResult Stop(DWORD waitMs);

 private:
  // Waits at most `waitMs` for the worker's message queue; false when the
  // thread ended first or the time ran out.
  bool QueueReady(DWORD waitMs);

  WorkerContext* context_ = nullptr;
  bool queueReady_ = false;
};

// After its time is up, a bounded call whose abort flag was raised gets this
// long to leave its poll (one poll slice).
inline constexpr DWORD kBoundedCallGraceMs = 120;

// Runs `call` with a protocol of its own (its own abort flag, so an abort
// left over from an upload does not skip its readiness poll) on a new thread
// and waits up to `waitMs`. When the time is up the call's abort flag is
// raised and it gets a last short moment; a call still running then (stuck
// in the library) is abandoned as above. True when the call completed.
bool RunBoundedDeviceCall(const std::function<void(DeviceProtocol&)>& call, DWORD waitMs);

}  // namespace torvo::win32
