// The virtual keyboard's control channel on Windows: the named file mapping
// holding the ControlBlock, the named mutex that guards it and the named
// auto-reset event that wakes the library's delivery thread. Shared by the
// stand-in library and its client; whoever opens first creates the block.
#pragma once

#include <windows.h>

#include <cstdint>

#include "hiddriver/control_block.h"

namespace torvo::vkb {

inline constexpr wchar_t kMappingName[] = L"TorvoVirtualKeyboard_Control";
inline constexpr wchar_t kMutexName[] = L"TorvoVirtualKeyboard_Mutex";
inline constexpr wchar_t kWakeEventName[] = L"TorvoVirtualKeyboard_Wake";

// How long a caller waits for the block before giving up on the call.
inline constexpr DWORD kLockTimeoutMs = 5000;

class ControlChannel {
 public:
  ControlChannel() = default;
  ~ControlChannel() { Close(); }
  ControlChannel(const ControlChannel&) = delete;
  ControlChannel& operator=(const ControlChannel&) = delete;

  // Opens the channel; creates and initialises the block (plugged or not)
  // when nobody has. False when a kernel object cannot be had or an existing
  // block has another layout.
  bool Open(bool pluggedIfCreated, bool* created = nullptr) {
    Close();
    if (created != nullptr) *created = false;
    mutex_ = CreateMutexW(nullptr, FALSE, kMutexName);
    wake_ = CreateEventW(nullptr, FALSE, FALSE, kWakeEventName);
    if (mutex_ == nullptr || wake_ == nullptr) {
      Close();
      return false;
    }
    if (!Acquire()) {
      Close();
      return false;
    }
    bool ok = false;
    mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                  static_cast<DWORD>(sizeof(ControlBlock)), kMappingName);
    if (mapping_ != nullptr) {
      // A smaller mapping of an older layout makes this view fail.
      block_ = static_cast<ControlBlock*>(
          MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(ControlBlock)));
    }
    if (block_ != nullptr) {
      if (block_->magic == 0) {  // a new mapping is zero-filled
        InitControlBlock(*block_, pluggedIfCreated);
        if (created != nullptr) *created = true;
      }
      ok = IsValidBlock(*block_);
    }
    ReleaseMutex(mutex_);
    if (!ok) Close();
    return ok;
  }

  void Close() {
    if (block_ != nullptr) UnmapViewOfFile(block_);
    block_ = nullptr;
    for (HANDLE* h : {&mapping_, &wake_, &mutex_}) {
      if (*h != nullptr) CloseHandle(*h);
      *h = nullptr;
    }
  }

  bool IsOpen() const { return block_ != nullptr; }
  HANDLE WakeEvent() const { return wake_; }
  void Wake() const {
    if (wake_ != nullptr) SetEvent(wake_);
  }

  // Takes the mutex; an abandoned mutex (a holder died) still hands over the
  // block, whose fields are plain values that stay usable.
  bool Acquire() const {
    if (mutex_ == nullptr) return false;
    const DWORD wait = WaitForSingleObject(mutex_, kLockTimeoutMs);
    return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
  }
  void Release() const { ReleaseMutex(mutex_); }
  ControlBlock* Block() const { return block_; }

 private:
  HANDLE mutex_ = nullptr;
  HANDLE mapping_ = nullptr;
  HANDLE wake_ = nullptr;
  ControlBlock* block_ = nullptr;
};

// Holds the channel's mutex for a scope; `block()` is null when the channel is
// closed or the mutex could not be had.
class ChannelLock {
 public:
  explicit ChannelLock(const ControlChannel& channel) : channel_(channel) {
    if (channel_.IsOpen() && channel_.Acquire()) block_ = channel_.Block();
  }
  ~ChannelLock() {
    if (block_ != nullptr) channel_.Release();
  }
  ChannelLock(const ChannelLock&) = delete;
  ChannelLock& operator=(const ChannelLock&) = delete;
  ControlBlock* block() const { return block_; }

 private:
  const ControlChannel& channel_;
  ControlBlock* block_ = nullptr;
};

}  // namespace torvo::vkb
