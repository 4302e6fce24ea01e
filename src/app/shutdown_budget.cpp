#include "app/shutdown_budget.h"

namespace torvo {

std::uint32_t WaitBefore(std::uint64_t deadlineMs, std::uint64_t elapsedMs,
                         std::uint32_t minimumMs) {
  const std::uint64_t left = elapsedMs < deadlineMs ? deadlineMs - elapsedMs : 0;
  return left > minimumMs ? static_cast<std::uint32_t>(left) : minimumMs;
}

std::optional<std::uint32_t> SecondClosingReportWaitMs(bool workerWasBusy,
                                                       bool closingReportReturned,
                                                       std::uint64_t elapsedMs) {
  if (!workerWasBusy || !closingReportReturned) return std::nullopt;
  return WaitBefore(kDeviceCallsDeadlineMs, elapsedMs, kLastReportMinWaitMs);
}

}  // namespace torvo
