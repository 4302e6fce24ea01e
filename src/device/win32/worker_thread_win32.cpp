#include "device/win32/worker_thread_win32.h"

#include <memory>
#include <utility>

#include "common/win32/desktop_win32.h"
#include "device/win32/device_link_win32.h"
#include "common/clock.h"
#include "common/exception_barrier.h"
#include "common/trace.h"
#include "device/device_protocol.h"
#include "device/device_state.h"
#include "device/upload_worker.h"
#include "device/win32/ansi_converter_win32.h"

namespace torvo::win32 {

// Everything the worker thread reaches besides the process values.
struct WorkerContext {
  SystemClock clock;
  Win32AnsiConverter converter;
  Win32Desktop desktop;
  DeviceProtocol protocol{DeviceLink().deviceLibrary, clock, DeviceLink().deviceFlags, converter};
  WorkerRequests requests;
  UploadWorker worker{protocol, DeviceLink().deviceFlags, desktop, requests};
  HANDLE queueReady = nullptr;
};

namespace {

DWORD WINAPI WorkerThreadProc(LPVOID parameter) {
  auto* context = static_cast<WorkerContext*>(parameter);
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // creates the queue
  SetEvent(context->queueReady);

  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    const bool served = GuardedCall(
        u"An exception ended an upload request; the worker takes the next one\n", false, [&] {
          context->worker.OnThreadMessage(msg.message, msg.wParam, msg.lParam);
          return true;
        });
    if (!served) DeviceLink().deviceFlags.workerBusy.store(0);
  }
  return 0;
}

struct BoundedCallContext {
  SystemClock clock;
  Win32AnsiConverter converter;
  DeviceFlags flags;
  DeviceProtocol protocol{DeviceLink().deviceLibrary, clock, flags, converter};
  std::function<void(DeviceProtocol&)> call;
};

DWORD WINAPI BoundedCallProc(LPVOID parameter) {
  auto* context = static_cast<BoundedCallContext*>(parameter);
  return GuardedCall(u"An exception ended a device call\n", DWORD{1}, [&] {
    context->call(context->protocol);
    return DWORD{0};
  });
}

}  // namespace

bool UploadWorkerThread::Start(DWORD stackSize) {
  DeviceLinkValues& process = DeviceLink();
  auto context = std::make_unique<WorkerContext>();
  context->queueReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (context->queueReady == nullptr) {
    Trace(u"The upload worker could not be started\n");
    return false;
  }
  process.workerThread = CreateThread(nullptr, stackSize, &WorkerThreadProc, context.get(), 0,
                                      &process.workerThreadId);
  if (process.workerThread == nullptr) {
    Trace(u"The upload worker could not be started\n");
    CloseHandle(context->queueReady);
    return false;
  }
  queueReady_ = false;
  context_ = context.release();  // the thread owns a view of it from now on
  return true;
}

bool UploadWorkerThread::QueueReady(DWORD waitMs) {
  DeviceLinkValues& process = DeviceLink();
  if (context_ == nullptr || process.workerThread == nullptr) return false;
  if (queueReady_) return true;
  HANDLE waits[2] = {context_->queueReady, process.workerThread};
  queueReady_ = WaitForMultipleObjects(2, waits, FALSE, waitMs) == WAIT_OBJECT_0;
  return queueReady_;
}

bool UploadWorkerThread::Post(WPARAM request, LPARAM parameter, const ConfigBlock& block) {
  DeviceLinkValues& process = DeviceLink();
  if (!QueueReady(INFINITE)) return false;
  const DWORD threadId = process.workerThreadId;
  const bool posted = context_->requests.Post(request, block, [&] {
    return PostThreadMessageW(threadId, MSG_WORKER_REQUEST, request, parameter) != 0;
  });
  if (!posted) Trace(u"A request could not be posted to the upload worker\n");
  return posted;
}

UploadWorkerThread::StopResult UploadWorkerThread::Stop(DWORD waitMs) {
  DeviceLinkValues& process = DeviceLink();
  if (process.workerThread == nullptr) return StopResult::kNotRunning;
  // A worker still getting ready has no queue for WM_QUIT yet; the wait for
  // it comes out of the same time.
  const ULONGLONG start = GetTickCount64();
  QueueReady(waitMs);
  PostThreadMessageW(process.workerThreadId, WM_QUIT, 0, 0);
  const ULONGLONG spent = GetTickCount64() - start;
  const DWORD wait = WaitForSingleObject(process.workerThread,
                                         spent >= waitMs ? 0 : static_cast<DWORD>(waitMs - spent));
  HANDLE thread = process.workerThread;
  process.workerThread = nullptr;
  if (wait != WAIT_OBJECT_0) {
    // Terminating a thread inside the device library could leave the
    // library's locks held and the device half-programmed; it is left to
    // the end of the process instead, with everything it uses (a slow
    // library may still let it end before the library is closed).
    Trace(u"The upload worker did not end in time; it is left to the end of the process\n");
    AbandonDeviceCall(thread);
    context_ = nullptr;
    return StopResult::kAbandoned;
  }
  CloseHandle(thread);
  if (context_ != nullptr) {
    CloseHandle(context_->queueReady);
    delete context_;
    context_ = nullptr;
  }
  return StopResult::kEnded;
}

bool RunBoundedDeviceCall(const std::function<void(DeviceProtocol&)>& call, DWORD waitMs) {
  auto context = std::make_unique<BoundedCallContext>();
  context->call = call;
  HANDLE thread = CreateThread(nullptr, 0, &BoundedCallProc, context.get(), 0, nullptr);
  if (thread == nullptr) {
    Trace(u"A device call could not be started on a thread of its own\n");
    return false;
  }
  DWORD wait = WaitForSingleObject(thread, waitMs);
  if (wait == WAIT_TIMEOUT) {
    context->flags.abortTransfer.store(1);
    wait = WaitForSingleObject(thread, kBoundedCallGraceMs);
  }
  if (wait != WAIT_OBJECT_0) {
    Trace(u"A device call did not return in time; it is left to the end of the process\n");
    AbandonDeviceCall(thread);
    context.release();  // still in use by the thread
    return false;
  }
  CloseHandle(thread);
  return true;
}

}  // namespace torvo::win32
