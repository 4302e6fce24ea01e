#include "app/win32/worker_thread_win32.h"

#include "app/win32/process_values_win32.h"
#include "app/win32/torvo_dlg_win32.h"
#include "common/trace.h"
#include "device/device_state.h"

namespace torvo::win32 {
namespace {

struct StartContext {
  CTorvoDlg* window;
  HANDLE queueReady;
};

DWORD WINAPI WorkerThreadProc(LPVOID parameter) {
  auto* start = static_cast<StartContext*>(parameter);
  CTorvoDlg* window = start->window;
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // creates the queue
  SetEvent(start->queueReady);                                 // `start` is not touched after this

  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message != MSG_WORKER_REQUEST) continue;
    window->ServeWorkerRequest(msg.wParam, msg.lParam);
  }
  return 0;
}

}  // namespace

bool StartWorkerThread(CTorvoDlg* window, DWORD stackSize) {
  ProcessValues& process = Process();
  StartContext start{window, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  if (start.queueReady == nullptr) return false;
  process.workerThread =
      CreateThread(nullptr, stackSize, &WorkerThreadProc, &start, 0, &process.workerThreadId);
  bool ready = false;
  if (process.workerThread != nullptr) {
    HANDLE waits[2] = {start.queueReady, process.workerThread};
    ready = WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0;
  } else {
    Trace(u"The upload worker could not be started\n");
  }
  CloseHandle(start.queueReady);
  return ready;
}

}  // namespace torvo::win32
