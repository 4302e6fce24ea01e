#include "device/upload_worker.h"

#include <utility>

#include "common/trace.h"

namespace torvo {

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
  if (!DevicePresent(flags_)) return;
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
  if (DevicePresent(flags_) && flags_.stopRequested.load() == 0) {
    if (snapshot != nullptr || !RequestUploadsSettings(request)) {
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
  if (!PostToWindow(desktop_, kConfiguratorTitle, MSG_CFG_APPLY_DONE)) {
    Trace(u"OnApplyAllSetting Don't find Mirk Option Dialog\n");
  }
  Trace(u"Thread Send Enable OK/Apply Button\n");
}

}  // namespace torvo
