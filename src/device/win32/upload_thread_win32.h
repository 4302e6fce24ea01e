// The upload worker's thread: a message loop that hands every thread message
// to UploadWorker until WM_QUIT.
#pragma once

#include <windows.h>

#include "device/upload_worker.h"

namespace torvo {

struct UploadThreadContext {
  UploadWorker* worker = nullptr;
  // Optional: set once the thread's message queue exists, so that the
  // creator knows PostThreadMessageW can no longer fail for want of a queue.
  HANDLE queueReady = nullptr;
};

// The thread procedure for CreateThread; `parameter` points to an
// UploadThreadContext that outlives the thread. Returns 0.
DWORD WINAPI UploadWorkerProc(void* parameter);

}  // namespace torvo
