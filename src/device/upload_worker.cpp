#include "device/upload_worker.h"

#include <utility>

#include "common/trace.h"

namespace torvo {

ConfigHandover::Ticket ConfigHandover::File(const ConfigBlock& block) {
  return File(std::make_shared<const ConfigBlock>(block));
}

ConfigHandover::Ticket ConfigHandover::File(std::shared_ptr<const ConfigBlock> snapshot) {
  std::lock_guard<std::mutex> lock(mutex_);
  Ticket ticket = next_++;
  if (ticket == kNoTicket) ticket = next_++;  // after wrapping around
  filed_[ticket] = std::move(snapshot);
  return ticket;
}

std::shared_ptr<const ConfigBlock> ConfigHandover::Take(Ticket ticket) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = filed_.find(ticket);
  if (found == filed_.end()) return nullptr;
  std::shared_ptr<const ConfigBlock> snapshot = std::move(found->second);
  filed_.erase(found);
  return snapshot;
}

std::size_t ConfigHandover::Pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return filed_.size();
}

void UploadWorker::OnThreadMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  if (message != MSG_WORKER_REQUEST) return;
  // Taken whether or not the request is served, so that a dropped request
  // does not leave its snapshot behind.
  Serve(wParam, handover_.Take(static_cast<ConfigHandover::Ticket>(lParam)));
}

void UploadWorker::Serve(std::uintptr_t wParam, std::shared_ptr<const ConfigBlock> snapshot) {
  if (flags_.devicePresence.load() != kDevicePresent) return;
  if (flags_.stopRequested.load() != 0) {
    Trace(u"Upload request dropped: the program is ending\n");
    return;
  }
  flags_.workerBusy.store(1);
  flags_.abortTransfer.store(0);
  if (busyRaisedObserver_) busyRaisedObserver_();
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
    case REQ_APPLY:
      protocol_.ApplyAllSettings(block);
      AnswerApply();
      break;
    case REQ_APPLY_SLOT_ONLY:
      protocol_.SendActiveSlot(block);
      AnswerApply();
      break;
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

void UploadWorker::AnswerApply() {
  WindowHandle configurator = desktop_.FindWindowByTitle(kConfiguratorTitle);
  if (configurator != 0) {
    desktop_.PostMessageTo(configurator, MSG_CFG_APPLY_DONE, 0, 0);
  } else {
    Trace(u"OnApplyAllSetting Don't find Mirk Option Dialog\n");
  }
  Trace(u"Thread Send Enable OK/Apply Button\n");
}

int PresenceTracker::ConnectionValue(std::uintptr_t wParam) {
  if (wParam == 0) return kRemoved;
  if (wParam == 1) return kArrived;
  return 0;
}

std::vector<PresenceEffect> PresenceTracker::OnConnectionChange(int value) {
  if (value == kArrived) {
    if (flags_.devicePresence.load() == kDevicePresent || arrivalPending_) return {};
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
