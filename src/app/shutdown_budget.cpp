#include "app/shutdown_budget.h"

namespace torvo {

std::optional<std::uint32_t> SecondClosingReportWaitMs(bool workerWasBusy,
                                                       bool closingReportReturned,
                                                       std::uint64_t elapsedMs) {
  if (!workerWasBusy || !closingReportReturned) return std::nullopt;
  const std::uint64_t left =
      elapsedMs < kShutdownDeviceBudgetMs ? kShutdownDeviceBudgetMs - elapsedMs : 0;
  return left > kLastReportMinWaitMs ? static_cast<std::uint32_t>(left) : kLastReportMinWaitMs;
}

}  // namespace torvo
