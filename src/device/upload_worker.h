// The upload worker's logic, apart from its thread: the snapshot handover
// between the UI thread and the worker, the serving of one request, and the
// decisions on device arrival and removal that the main window carries out.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "common/desktop.h"
#include "device/device_protocol.h"
#include "device/device_state.h"
#include "settings/config_block.h"

namespace torvo {

// The settings the worker uploads. The UI thread publishes a copy of its
// working block before it posts a request; the worker takes the latest copy
// when it starts one, so an upload always reads one consistent block however
// the UI thread changes its own afterwards.
class ConfigHandover {
 public:
  void Publish(const ConfigBlock& block);
  void Publish(std::shared_ptr<const ConfigBlock> snapshot);
  // The latest published block; null before the first Publish.
  std::shared_ptr<const ConfigBlock> Latest() const;

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<const ConfigBlock> latest_;
};

class UploadWorker {
 public:
  // Posted to the configurator when an apply request has been served: it may
  // enable its OK and Apply buttons again.
  static constexpr unsigned MSG_CFG_APPLY_DONE = 1256;

  UploadWorker(DeviceProtocol& protocol, DeviceFlags& flags, Desktop& desktop,
               const ConfigHandover& handover)
      : protocol_(protocol), flags_(flags), desktop_(desktop), handover_(handover) {}

  // One message taken from the worker's queue: requests (MSG_WORKER_REQUEST)
  // are served with the latest snapshot, anything else is dropped.
  void OnThreadMessage(unsigned message, std::uintptr_t wParam);

  // Serves one request on the calling thread: dropped unless the device is
  // present; otherwise workerBusy is 1 and abortTransfer starts at 0 while
  // it runs.
  void Serve(std::uintptr_t wParam, std::shared_ptr<const ConfigBlock> snapshot);

 private:
  void Run(std::uintptr_t wParam, const ConfigBlock& block);

  DeviceProtocol& protocol_;
  DeviceFlags& flags_;
  Desktop& desktop_;
  const ConfigHandover& handover_;
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
// it), asks OnArrivalPauseElapsed for the rest of the arrival.
class PresenceTracker {
 public:
  static constexpr std::uint32_t kArrivalPauseMs = 8000;
  // Connection-change values of the device event class 0x7F00.
  static constexpr int kArrived = 1;
  static constexpr int kRemoved = 2;

  explicit PresenceTracker(DeviceFlags& flags) : flags_(flags) {}

  // The connection value for MSG_DEVICE_CONNECTION's wParam: wParam 1
  // (arrived) gives kArrived, wParam 0 (removed) kRemoved, anything else 0.
  static int ConnectionValue(std::uintptr_t wParam);

  // A connection change (the value of a 0x7F00 device event). Arrival is
  // ignored while the device is present, removal while it is removed; any
  // other value does nothing. Removal raises the abort flag at once when the
  // worker is busy.
  std::vector<PresenceEffect> OnConnectionChange(int value);
  // The rest of an arrival, after the pause: nothing when the device left in
  // the meantime.
  std::vector<PresenceEffect> OnArrivalPauseElapsed();
  bool ArrivalPending() const { return arrivalPending_; }

 private:
  DeviceFlags& flags_;
  bool arrivalPending_ = false;
};

}  // namespace torvo
