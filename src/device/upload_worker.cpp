#include "device/upload_worker.h"

#include <utility>

#include "common/trace.h"

namespace torvo {

namespace {

// Requests that upload settings and so carry a copy of the block.
bool UploadsSettings(std::uintptr_t request) {
  return request == REQ_APPLY || request == REQ_FULL_UPLOAD;
}

}  // namespace

bool WorkerRequests::Post(std::uintptr_t request, const ConfigBlock& block,
                          const std::function<bool()>& post) {
  Entry entry{request, nullptr};
  if (UploadsSettings(request)) entry.snapshot = std::make_shared<const ConfigBlock>(block);
  std::uint64_t id = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    id = nextId_++;
    queued_.push_back({id, std::move(entry)});
  }
  // Queued before the message goes out: the worker may take the message at
  // once.
  if (post()) return true;
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = queued_.begin(); it != queued_.end(); ++it) {
    if (it->id == id) {
      queued_.erase(it);
      break;
    }
  }
  return false;
}

std::optional<WorkerRequests::Entry> WorkerRequests::TakeOldest() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (queued_.empty()) return std::nullopt;
  Entry entry = std::move(queued_.front().entry);
  queued_.pop_front();
  return entry;
}

std::size_t WorkerRequests::Pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queued_.size();
}

void UploadWorker::OnThreadMessage(unsigned message, std::uintptr_t wParam, std::intptr_t) {
  if (message != MSG_WORKER_REQUEST) return;
  // Taken whether or not the request is served, so that a dropped request
  // does not leave its entry behind for the next message.
  std::optional<WorkerRequests::Entry> entry = requests_.TakeOldest();
  if (!entry.has_value()) {
    Trace(u"Upload request that this program did not queue; dropped\n");
    return;
  }
  if (entry->request != wParam) {
    Trace(u"Upload request message out of step with the queued requests; the oldest is served\n");
  }
  Serve(entry->request, std::move(entry->snapshot));
}

void UploadWorker::Serve(std::uintptr_t request, std::shared_ptr<const ConfigBlock> snapshot) {
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
    if (snapshot != nullptr || !UploadsSettings(request)) {
      Run(request, snapshot.get());
    } else {
      Trace(u"Upload request without settings to upload; dropped\n");
    }
  }
  flags_.workerBusy.store(0);
}

void UploadWorker::Run(std::uintptr_t request, const ConfigBlock* snapshot) {
  // The reports naming the active slot read it as they go out; the key
  // tables and macros come from the request's own snapshot.
  switch (request) {
    case REQ_APPLY:
      protocol_.ApplyAllSettings(*snapshot, flags_.activeSlot.load());
      AnswerApply();
      break;
    case REQ_FULL_UPLOAD:
      protocol_.SendUploadStart(flags_.activeSlot.load());
      protocol_.ApplyAllSettings(*snapshot, flags_.activeSlot.load());
      protocol_.SendHostState(true, false);
      break;
    case REQ_SWITCH_SLOT:
      protocol_.SendActiveSlot(flags_.activeSlot.load());
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
