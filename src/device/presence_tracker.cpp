#include "device/presence_tracker.h"

#include "common/trace.h"

namespace torvo {

int PresenceTracker::ConnectionValue(std::uintptr_t wParam) {
  if (wParam == 0) return kRemoved;
  if (wParam == 1) return kArrived;
  return 0;
}

std::vector<PresenceEffect> PresenceTracker::OnConnectionChange(int value) {
  if (value == kArrived) {
    if (DevicePresent(flags_) || arrivalPending_) return {};
    arrivalPending_ = true;
    return {PresenceEffect::kStartArrivalPause};
  }
  if (value == kRemoved) {
    if (arrivalPending_) {
      // The device left before it was opened: nothing was opened, shown or
      // started for it, so there is nothing to close but the pause.
      arrivalPending_ = false;
      flags_.devicePresence.store(kDeviceRemoved);
      Trace(u"Device removed during the arrival pause; the arrival is cancelled\n");
      return {PresenceEffect::kCancelArrivalPause};
    }
    if (flags_.devicePresence.load() == kDeviceRemoved) return {};
    flags_.devicePresence.store(kDeviceRemoved);
    // Raised before the window closes the device, so that a running upload
    // stops polling a device that is gone as early as possible.
    if (flags_.workerBusy.load() == 1) flags_.abortTransfer.store(1);
    return {PresenceEffect::kCloseFeatureDevice, PresenceEffect::kRemoveTrayIcon,
            PresenceEffect::kStopForegroundTimer, PresenceEffect::kCloseConfigurator};
  }
  return {};
}

std::vector<PresenceEffect> PresenceTracker::OnArrivalPauseElapsed() {
  if (!arrivalPending_) return {};
  arrivalPending_ = false;
  return {PresenceEffect::kOpenFeatureDevice, PresenceEffect::kRequestFullUpload,
          PresenceEffect::kAddTrayIcon, PresenceEffect::kStartForegroundTimer};
}

void PresenceTracker::OnFeatureDeviceOpened() {
  flags_.devicePresence.store(kDevicePresent);
}

}  // namespace torvo
