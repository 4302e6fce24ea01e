// Device presence on the UI thread: the decisions on device arrival and
// removal that the main window carries out.
#pragma once

#include <cstdint>
#include <vector>

#include "device/device_state.h"

namespace torvo {

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
