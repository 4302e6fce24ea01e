// The upload worker's logic, apart from its thread: the serving of one
// request taken from the hand-over (WorkerRequests).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "common/desktop.h"
#include "device/device_protocol.h"
#include "device/device_state.h"
#include "device/worker_requests.h"
#include "settings/config_block.h"

namespace torvo {

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

}  // namespace torvo
