// hiddriver.dll, the virtual keyboard: the device library's six entry points
// over the shared control block. Every call works under the channel's mutex,
// so SetFeature and GetFeature may come from several threads at once. A small
// delivery thread, started by Open_DevMonitor, posts the queued input events
// and connection changes to the monitor window.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "hiddriver/control_block.h"
#include "hiddriver/dll/control_channel.h"
#include "hiddriver/keyboard_state.h"

namespace {

using torvo::vkb::ChannelLock;
using torvo::vkb::ControlBlock;
using torvo::vkb::ControlChannel;

// How often the delivery thread looks at the queue without being woken.
constexpr DWORD kDeliveryPollMs = 50;
constexpr DWORD kThreadStopWaitMs = 2000;
// How often a call blocked by the controller looks at the mode again.
constexpr DWORD kBlockSliceMs = 10;

SRWLOCK gStateLock = SRWLOCK_INIT;  // guards the channel opening and the thread handles
ControlChannel* gChannel = nullptr;
HANDLE gThread = nullptr;
HANDLE gStopEvent = nullptr;

void Trace(const char* text) {
  std::wstring wide;
  for (const char* p = text; *p != '\0'; ++p) wide.push_back(static_cast<wchar_t>(*p));
  OutputDebugStringW(wide.c_str());
}

// The channel, opened (and the block created, plugged) on first use. The
// object lives until the process ends: the delivery thread may still use it.
ControlChannel* Channel() {
  AcquireSRWLockExclusive(&gStateLock);
  if (gChannel == nullptr) gChannel = new ControlChannel();
  ControlChannel* channel = gChannel;
  if (!channel->IsOpen() && !channel->Open(true)) {
    Trace("hiddriver: cannot open the virtual keyboard's control block\n");
    channel = nullptr;
  }
  ReleaseSRWLockExclusive(&gStateLock);
  return channel;
}

void DeliverQueuedPosts(ControlChannel& channel) {
  ChannelLock lock(channel);
  ControlBlock* block = lock.block();
  if (block == nullptr) return;
  torvo::vkb::QueuedPost post{};
  while (torvo::vkb::PopPost(*block, post)) {
    const bool event = post.kind == static_cast<std::uint32_t>(torvo::vkb::PostKind::kEvent);
    HWND window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(block->monitorWindow));
    const UINT message = event ? block->eventMessage : block->connectionMessage;
    if (block->monitorOpen == 0 || window == nullptr ||
        !PostMessageW(window, message, post.wParam, static_cast<LPARAM>(post.lParam))) {
      ++block->counters.postsDropped;
      Trace("hiddriver: no monitor window to post to, post dropped\n");
      continue;
    }
    ++(event ? block->counters.eventsPosted : block->counters.connectionsPosted);
  }
}

DWORD WINAPI DeliveryThread(void* parameter) {
  ControlChannel& channel = *static_cast<ControlChannel*>(parameter);
  HANDLE stop = gStopEvent;
  HANDLE handles[2] = {stop, channel.WakeEvent()};
  for (;;) {
    const DWORD wait = WaitForMultipleObjects(2, handles, FALSE, kDeliveryPollMs);
    if (wait == WAIT_OBJECT_0) break;
    DeliverQueuedPosts(channel);
  }
  // The thread holds its own reference on this module (taken when it was
  // started), so a FreeLibrary by the program never unmaps running code.
  HMODULE self = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&DeliveryThread), &self);
  FreeLibraryAndExitThread(self, 0);
}

void StartDeliveryThread(ControlChannel& channel) {
  AcquireSRWLockExclusive(&gStateLock);
  if (gThread == nullptr) {
    if (gStopEvent == nullptr) gStopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HMODULE self = nullptr;
    if (gStopEvent != nullptr &&
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<LPCWSTR>(&DeliveryThread), &self)) {
      ResetEvent(gStopEvent);
      gThread = CreateThread(nullptr, 0, DeliveryThread, &channel, 0, nullptr);
      if (gThread == nullptr) {
        FreeLibrary(self);
        Trace("hiddriver: cannot start the delivery thread\n");
      }
    }
  }
  ReleaseSRWLockExclusive(&gStateLock);
}

void StopDeliveryThread() {
  AcquireSRWLockExclusive(&gStateLock);
  HANDLE thread = gThread;
  gThread = nullptr;
  if (thread != nullptr) SetEvent(gStopEvent);
  ReleaseSRWLockExclusive(&gStateLock);
  if (thread != nullptr) {
    if (WaitForSingleObject(thread, kThreadStopWaitMs) != WAIT_OBJECT_0) {
      Trace("hiddriver: delivery thread did not stop in time\n");
    }
    CloseHandle(thread);
  }
}

void TraceVerdict(torvo::vkb::Verdict verdict) {
  if (verdict != torvo::vkb::Verdict::kAccepted) Trace(torvo::vkb::VerdictText(verdict));
}

// In a blocking mode, holds the call here, without the channel's mutex, until
// the mode's time has passed or the controller changed the mode.
void WaitWhileBlocked(ControlChannel& channel, torvo::vkb::LogKind kind) {
  {
    ChannelLock lock(channel);
    if (lock.block() == nullptr || !torvo::vkb::BeginBlock(*lock.block(), kind)) return;
  }
  Trace(kind == torvo::vkb::LogKind::kGet ? "hiddriver: GetFeature blocks as asked\n"
                                          : "hiddriver: SetFeature blocks as asked\n");
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    Sleep(kBlockSliceMs);
    ChannelLock lock(channel);
    if (lock.block() == nullptr) return;
    const auto elapsed =
        static_cast<std::uint32_t>(std::min<ULONGLONG>(GetTickCount64() - start, 0xFFFFFFFFu));
    if (!torvo::vkb::StillBlocked(*lock.block(), kind, elapsed)) {
      torvo::vkb::EndBlock(*lock.block());
      return;
    }
  }
}

}  // namespace

extern "C" {

int __cdecl Open_DevMonitor(HWND window, UINT eventMessage, UINT connectionMessage) {
  ControlChannel* channel = Channel();
  if (channel == nullptr) return 0;
  int result = 0;
  {
    ChannelLock lock(*channel);
    if (lock.block() == nullptr) return 0;
    result = torvo::vkb::HandleOpenDevMonitor(
        *lock.block(), static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(window)),
        eventMessage, connectionMessage, GetCurrentProcessId());
  }
  if (result == 0) {
    Trace("hiddriver: Open_DevMonitor without a window\n");
    return 0;
  }
  StartDeliveryThread(*channel);
  return 1;
}

int __cdecl Close_DevMonitor(void) {
  StopDeliveryThread();
  ControlChannel* channel = Channel();
  if (channel == nullptr) return 0;
  ChannelLock lock(*channel);
  if (lock.block() == nullptr) return 0;
  return torvo::vkb::HandleCloseDevMonitor(*lock.block(), GetCurrentProcessId());
}

int __cdecl Open_FeatureDevice(void) {
  ControlChannel* channel = Channel();
  if (channel == nullptr) return 0;
  ChannelLock lock(*channel);
  if (lock.block() == nullptr) return 0;
  return torvo::vkb::HandleOpenFeatureDevice(*lock.block());
}

int __cdecl Close_FeatureDevice(void) {
  ControlChannel* channel = Channel();
  if (channel == nullptr) return 0;
  ChannelLock lock(*channel);
  if (lock.block() == nullptr) return 0;
  return torvo::vkb::HandleCloseFeatureDevice(*lock.block());
}

int __cdecl SetFeature(unsigned char* report, int length) {
  ControlChannel* channel = Channel();
  if (channel == nullptr) return 0;
  WaitWhileBlocked(*channel, torvo::vkb::LogKind::kSet);
  ChannelLock lock(*channel);
  if (lock.block() == nullptr) return 0;
  const auto answer = torvo::vkb::HandleSetFeature(*lock.block(), report, length,
                                                   static_cast<std::uint32_t>(GetTickCount()));
  TraceVerdict(answer.verdict);
  return answer.result;
}

int __cdecl GetFeature(unsigned char* report, int length) {
  ControlChannel* channel = Channel();
  if (channel == nullptr) return 0;
  WaitWhileBlocked(*channel, torvo::vkb::LogKind::kGet);
  ChannelLock lock(*channel);
  if (lock.block() == nullptr) return 0;
  const auto answer = torvo::vkb::HandleGetFeature(*lock.block(), report, length,
                                                   static_cast<std::uint32_t>(GetTickCount()));
  TraceVerdict(answer.verdict);
  return answer.result;
}

}  // extern "C"
