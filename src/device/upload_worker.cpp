#include "device/upload_worker.h"

#include <utility>

#include "common/trace.h"

namespace torvo {

void ConfigHandover::Publish(const ConfigBlock& block) {
  Publish(std::make_shared<const ConfigBlock>(block));
}

void ConfigHandover::Publish(std::shared_ptr<const ConfigBlock> snapshot) {
  std::lock_guard<std::mutex> lock(mutex_);
  latest_ = std::move(snapshot);
}

std::shared_ptr<const ConfigBlock> ConfigHandover::Latest() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return latest_;
}

void UploadWorker::OnThreadMessage(unsigned message, std::uintptr_t wParam) {
  if (message != MSG_WORKER_REQUEST) return;
  Serve(wParam, handover_.Latest());
}

void UploadWorker::Serve(std::uintptr_t wParam, std::shared_ptr<const ConfigBlock> snapshot) {
  if (flags_.devicePresence.load() != kDevicePresent) return;
  if (flags_.stopRequested.load() != 0) {
    Trace(u"Upload request dropped: the program is ending\n");
    return;
  }
  flags_.workerBusy.store(1);
  flags_.abortTransfer.store(0);
  // A removal (or the start of shutdown) between the checks above and raising
  // workerBusy would have found the worker idle and raised no abort: look once
  // more now that the flag is visible, so the request is either aborted or
  // dropped.
  if (flags_.devicePresence.load() == kDevicePresent && flags_.stopRequested.load() == 0) {
    if (snapshot != nullptr) {
      Run(wParam, *snapshot);
    } else {
      Trace(u"Upload request without settings to upload; dropped\n");
    }
  }
  flags_.workerBusy.store(0);
}

void UploadWorker::Run(std::uintptr_t wParam, const ConfigBlock& block) {
  switch (wParam) {
    case REQ_APPLY: {
      protocol_.ApplyAllSettings(block);
      WindowHandle configurator = desktop_.FindWindowByTitle(kConfiguratorTitle);
      if (configurator != 0) {
        desktop_.PostMessageTo(configurator, MSG_CFG_APPLY_DONE, 0, 0);
      } else {
        Trace(u"OnApplyAllSetting Don't find Mirk Option Dialog\n");
      }
      Trace(u"Thread Send Enable OK/Apply Button\n");
      break;
    }
    case REQ_FULL_UPLOAD:
      protocol_.SendUploadStart(block);
      protocol_.ApplyAllSettings(block);
      protocol_.SendHostState(true, false);
      break;
    case REQ_SWITCH_SLOT:
      protocol_.SendActiveSlot(block);
      break;
    default:
      break;
  }
}

int PresenceTracker::ConnectionValue(std::uintptr_t wParam) {
  if (wParam == 0) return kRemoved;
  if (wParam == 1) return kArrived;
  return 0;
}

std::vector<PresenceEffect> PresenceTracker::OnConnectionChange(int value) {
  if (value == kArrived) {
    if (flags_.devicePresence.load() == kDevicePresent) return {};
    flags_.devicePresence.store(kDevicePresent);
    arrivalPending_ = true;
    return {PresenceEffect::kStartArrivalPause};
  }
  if (value == kRemoved) {
    if (flags_.devicePresence.load() == kDeviceRemoved) return {};
    flags_.devicePresence.store(kDeviceRemoved);
    // Raised before the window closes the device, so that a running upload
    // stops polling a device that is gone as early as possible.
    if (flags_.workerBusy.load() == 1) flags_.abortTransfer.store(1);
    std::vector<PresenceEffect> effects;
    if (arrivalPending_) {
      arrivalPending_ = false;
      effects.push_back(PresenceEffect::kCancelArrivalPause);
    }
    effects.insert(effects.end(),
                   {PresenceEffect::kCloseFeatureDevice, PresenceEffect::kRemoveTrayIcon,
                    PresenceEffect::kStopForegroundTimer, PresenceEffect::kCloseConfigurator});
    return effects;
  }
  return {};
}

std::vector<PresenceEffect> PresenceTracker::OnArrivalPauseElapsed() {
  if (!arrivalPending_) return {};
  arrivalPending_ = false;
  if (flags_.devicePresence.load() != kDevicePresent) return {};
  return {PresenceEffect::kOpenFeatureDevice, PresenceEffect::kRequestFullUpload,
          PresenceEffect::kAddTrayIcon, PresenceEffect::kStartForegroundTimer};
}

}  // namespace torvo
