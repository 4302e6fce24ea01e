// How long each wait of the shutdown may take, and whether the closing
// host-state report is sent a second time.
//
// Shutdown must end within two seconds even when a call into the device
// library never returns. A ready device answers the closing report's poll
// after its first 100 ms wait; a worker told to abort leaves its poll within
// one 100 ms slice and sends its last reports without polls or pauses. The
// waits leave room for that several times over and together (about 1.75 s
// at worst, with the grace of a bounded call) stay within the bound.
#pragma once

#include <cstdint>
#include <optional>

namespace torvo {

// The first closing report's wait, and the wait for the worker to end.
inline constexpr std::uint32_t kClosingReportWaitMs = 400;
inline constexpr std::uint32_t kWorkerQuitWaitMs = 1000;
// The closing report sent again gets what is left of this budget, counted
// from the start of the destruction, and at least kLastReportMinWaitMs.
inline constexpr std::uint64_t kShutdownDeviceBudgetMs = 1600;
inline constexpr std::uint32_t kLastReportMinWaitMs = 100;

// After the worker was stopped: how long the closing report sent again may
// wait, or none when it is not sent again. It is sent again only when the
// worker was busy during the shutdown (its last reports end with "host
// active", so the device's last word from us must be that the host leaves)
// and the first closing report returned (when it is still stuck in the
// library, a second one would only wait for it too). `elapsedMs`: since the
// start of the destruction.
std::optional<std::uint32_t> SecondClosingReportWaitMs(bool workerWasBusy,
                                                       bool closingReportReturned,
                                                       std::uint64_t elapsedMs);

}  // namespace torvo
