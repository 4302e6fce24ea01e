#include "app/presence_tracker.h"

#include "common/trace.h"

namespace torvo {

int PresenceTracker::ConnectionValue(std::uintptr_t wParam) {
  if (wParam == 0) return kRemoved;
  if (wParam == 1) return kArrived;
  return 0;
}

Effects PresenceTracker::OpenedAtStart(bool opened, bool configuratorRequested) {
  if (!opened) {
    flags_.devicePresence.store(kDeviceNotOpened);
    return {effect::TraceText(u"Device not present at start\n")};
  }
  flags_.devicePresence.store(kDevicePresent);
  Effects effects = {effect::StartTimer(TIMER_FOLLOW_FOREGROUND, kFollowForegroundPeriodMs),
                     effect::StartTimer(TIMER_INITIAL_UPLOAD, kInitialUploadDelayMs),
                     effect::Simple(EffectKind::kAddTrayIcon)};
  if (configuratorRequested) effects.push_back(effect::Simple(EffectKind::kOpenConfigurator));
  effects.push_back(effect::TraceText(u"Device opened at start\n"));
  return effects;
}

Effects PresenceTracker::OnConnectionChange(int value) {
  if (value == kArrived) {
    if (DevicePresent(flags_) || arrivalPending_) return {};
    arrivalPending_ = true;
    ++arrivals_;
    return {effect::StartTimer(TIMER_ARRIVAL_PAUSE, kArrivalPauseMs)};
  }
  if (value == kRemoved) {
    if (arrivalPending_) {
      // The device left before it was opened: nothing was opened, shown or
      // started for it, so there is nothing to close but the pause; the
      // configurator is closed as after every removal.
      arrivalPending_ = false;
      flags_.devicePresence.store(kDeviceRemoved);
      Effects effects = {
          effect::StopTimer(TIMER_ARRIVAL_PAUSE),
          effect::TraceText(
              u"Device removed during the arrival pause; the arrival is cancelled\n")};
      for (const Effect& e : ConfiguratorCloseEffects()) effects.push_back(e);
      return effects;
    }
    if (flags_.devicePresence.load() == kDeviceRemoved) return {};
    flags_.devicePresence.store(kDeviceRemoved);
    // Raised before the window closes the device, so that a running upload
    // stops polling a device that is gone as early as possible.
    if (flags_.workerBusy.load() == 1) flags_.abortTransfer.store(1);
    Effects effects = {effect::Simple(EffectKind::kCloseFeatureDevice),
                       effect::Simple(EffectKind::kRemoveTrayIcon),
                       effect::StopTimer(TIMER_FOLLOW_FOREGROUND)};
    for (const Effect& e : ConfiguratorCloseEffects()) effects.push_back(e);
    return effects;
  }
  return {};
}

Effects PresenceTracker::OnArrivalPauseElapsed(unsigned arrival) {
  if (!arrivalPending_ || arrival != arrivals_) return {};
  arrivalPending_ = false;
  return {effect::Simple(EffectKind::kOpenFeatureDevice),
          effect::PostWorkerRequest(REQ_FULL_UPLOAD, 0), effect::Simple(EffectKind::kAddTrayIcon),
          effect::StartTimer(TIMER_FOLLOW_FOREGROUND, kFollowForegroundPeriodMs)};
}

void PresenceTracker::OnFeatureDeviceOpened() {
  flags_.devicePresence.store(kDevicePresent);
}

}  // namespace torvo
