#include "device/win32/upload_thread_win32.h"

#include "common/trace.h"

namespace torvo {

DWORD WINAPI UploadWorkerProc(void* parameter) {
  auto* context = static_cast<UploadThreadContext*>(parameter);
  MSG msg;
  // A thread gets its message queue with its first message call.
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  if (context != nullptr && context->queueReady != nullptr) SetEvent(context->queueReady);
  if (context == nullptr || context->worker == nullptr) {
    Trace(u"Upload thread started without a worker; it ends\n");
    return 0;
  }
  for (;;) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) break;  // WM_QUIT
    if (got == -1) {
      Trace(u"Upload thread could not read its message queue; it ends\n");
      break;
    }
    context->worker->OnThreadMessage(msg.message, static_cast<std::uintptr_t>(msg.wParam));
  }
  return 0;
}

}  // namespace torvo
