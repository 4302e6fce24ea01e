// Device presence on the UI thread: the decisions on the device found at
// start, its arrivals and its removals. This is the one place that writes
// DeviceFlags::devicePresence; the core carries out what it answers.
#pragma once

#include <cstdint>

#include "app/window_effects.h"
#include "device/device_state.h"

namespace torvo {

// The arrival pause is not slept: a one-shot timer (TIMER_ARRIVAL_PAUSE)
// stands for it and, when it fires, OnArrivalPauseElapsed answers the rest
// of the arrival. Until the feature device has been opened after the pause
// (kOpenFeatureDevice, then OnFeatureDeviceOpened), devicePresence keeps its
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

  // Whether the feature device opened in the creation handler. Opened: the
  // foreground check runs every kFollowForegroundPeriodMs, the first full
  // upload follows after kInitialUploadDelayMs, the tray icon shows and,
  // when the command line asked for it, the configurator comes forward.
  Effects OpenedAtStart(bool opened, bool configuratorRequested);
  // A connection change (the value of a 0x7F00 device event). Arrival is
  // ignored while the device is present or already arriving, removal while
  // it is removed (unless an arrival is pending, which it cancels); any other
  // value does nothing. Removal raises the abort flag at once when the worker
  // is busy. A removal during the arrival pause ends the arrival as a removal
  // after it would: nothing was opened or shown for the device, so only the
  // pause stops, and the configurator is closed as from every other state.
  Effects OnConnectionChange(int value);
  // The number of the arrival now pending (each arrival counts one up).
  unsigned ArrivalNumber() const { return arrivals_; }
  // The rest of arrival `arrival`, after the pause: nothing when that arrival
  // is no longer pending (the device left, perhaps to arrive again). Its
  // first effect opens the feature device; the executor calls
  // OnFeatureDeviceOpened right after it.
  Effects OnArrivalPauseElapsed(unsigned arrival);
  // The feature device is open again: the device counts as present.
  void OnFeatureDeviceOpened();
  bool ArrivalPending() const { return arrivalPending_; }

 private:
  DeviceFlags& flags_;
  bool arrivalPending_ = false;
  unsigned arrivals_ = 0;
};

}  // namespace torvo
