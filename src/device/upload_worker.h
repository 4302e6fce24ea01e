// The upload worker's logic, apart from its thread: the requests queued
// between the UI thread and the worker, the serving of one request, and the
// decisions on device arrival and removal that the main window carries out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "common/desktop.h"
#include "device/device_protocol.h"
#include "device/device_state.h"
#include "settings/config_block.h"

namespace torvo {

// The worker's requests as the UI thread posts them, queued beside the
// thread's message queue: the message carries only what its sender was
// asked (wParam the request, lParam its parameter), and the settings an
// upload sends travel here. Right before posting a request the UI thread
// queues it with a copy of its working block (Post); the worker takes the
// oldest entry for each request message it gets, served or dropped alike
// (TakeOldest). Requests queued behind a long upload therefore each upload
// the block they were posted with, however the UI thread changes its own
// block meanwhile. A slot switch carries no copy: its report names the slot
// in force when it goes out (DeviceFlags::activeSlot).
//
// Every request message is matched to the oldest entry, so a request message
// this program did not post (another process may post to any thread) serves
// the oldest queued request early, or, with nothing queued, nothing: no
// request is served twice or out of order. Entries still queued when the
// worker ends (WM_QUIT) go with the queue.
class WorkerRequests {
 public:
  struct Entry {
    std::uintptr_t request = 0;
    std::shared_ptr<const ConfigBlock> snapshot;  // null for a slot switch
  };

  // Queues `request` with what it uploads of `block`, then calls `post` (the
  // thread message). When `post` fails, the entry is removed again. Returns
  // the result of `post`.
  bool Post(std::uintptr_t request, const ConfigBlock& block, const std::function<bool()>& post);
  // The oldest entry, removed; nothing when none is queued.
  std::optional<Entry> TakeOldest();
  std::size_t Pending() const;

 private:
  struct Queued {
    std::uint64_t id;
    Entry entry;
  };
  mutable std::mutex mutex_;
  std::uint64_t nextId_ = 1;
  std::deque<Queued> queued_;
};

class UploadWorker {
 public:
  UploadWorker(DeviceProtocol& protocol, DeviceFlags& flags, Desktop& desktop,
               WorkerRequests& requests)
      : protocol_(protocol), flags_(flags), desktop_(desktop), requests_(requests) {}

  // One message taken from the worker's queue: a request (MSG_WORKER_REQUEST)
  // serves the oldest queued request, anything else is dropped. The
  // message's lParam is not read.
  void OnThreadMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

  // Serves one request on the calling thread: dropped unless the device is
  // present; otherwise workerBusy is 1 and abortTransfer starts at 0 while
  // it runs. An apply or a full upload without a snapshot is dropped.
  void Serve(std::uintptr_t request, std::shared_ptr<const ConfigBlock> snapshot);

  // Called right after workerBusy is raised, before the request runs: lets a
  // test play a removal or a shutdown that races with the start of a request.
  void SetBusyRaisedObserver(std::function<void()> observer) {
    busyRaisedObserver_ = std::move(observer);
  }

 private:
  void Run(std::uintptr_t request, const ConfigBlock* snapshot);
  // Tells the configurator that its apply is done.
  void AnswerApply();

  DeviceProtocol& protocol_;
  DeviceFlags& flags_;
  Desktop& desktop_;
  WorkerRequests& requests_;
  std::function<void()> busyRaisedObserver_;
};

// What the main window does on a device arrival or removal, in order.
enum class PresenceEffect {
  kStartArrivalPause,   // start the one-shot arrival timer (kArrivalPauseMs)
  kCancelArrivalPause,  // kill the arrival timer
  kOpenFeatureDevice,   // Open_FeatureDevice, result ignored
  kRequestFullUpload,   // publish the snapshot, post MSG_WORKER_REQUEST / REQ_FULL_UPLOAD
  kAddTrayIcon,
  kStartForegroundTimer,  // timer 500, 2000 ms
  kCloseFeatureDevice,
  kRemoveTrayIcon,
  kStopForegroundTimer,  // kill timer 500
  kCloseConfigurator,
};

// Device presence on the UI thread. The arrival pause is not slept: the
// window starts a one-shot timer for it and, when it fires (after killing
// it), asks OnArrivalPauseElapsed for the rest of the arrival. Until the
// feature device has been opened after the pause, devicePresence keeps its
// previous value (not opened or removed), so that no request is posted to,
// and the worker serves none for, a device that is not open yet.
class PresenceTracker {
 public:
  // Connection-change values of the device event class 0x7F00.
  static constexpr int kArrived = 1;
  static constexpr int kRemoved = 2;

  explicit PresenceTracker(DeviceFlags& flags) : flags_(flags) {}

  // The connection value for MSG_DEVICE_CONNECTION's wParam: wParam 1
  // (arrived) gives kArrived, wParam 0 (removed) kRemoved, anything else 0.
  static int ConnectionValue(std::uintptr_t wParam);

  // A connection change (the value of a 0x7F00 device event). Arrival is
  // ignored while the device is present or already arriving, removal while
  // it is removed (unless an arrival is pending, which it cancels); any other
  // value does nothing. Removal raises the abort flag at once when the worker
  // is busy.
  std::vector<PresenceEffect> OnConnectionChange(int value);
  // The rest of an arrival, after the pause: nothing when the device left in
  // the meantime. The window opens the feature device (kOpenFeatureDevice)
  // and then calls OnFeatureDeviceOpened before it carries out the rest.
  std::vector<PresenceEffect> OnArrivalPauseElapsed();
  // The feature device is open again: the device counts as present.
  void OnFeatureDeviceOpened();
  bool ArrivalPending() const { return arrivalPending_; }

 private:
  DeviceFlags& flags_;
  bool arrivalPending_ = false;
};

}  // namespace torvo
