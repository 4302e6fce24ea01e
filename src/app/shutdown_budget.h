// How long each wait of the shutdown may take, and whether the closing
// host-state report is sent a second time.
//
// The process ends within three seconds of the exit command, whatever the
// device library does. The budget is shared out by deadlines counted from
// the start of the destruction; a library that is slow but answers (600 ms
// a call) fits in it, one that never answers is left behind:
//
//   0 .. 1300 ms     the closing report and its readiness poll. A ready device
//                    answers at the poll's first 100 ms wait; a busy one is
//                    polled on (1000, 1500, 2000 ms waits) until the deadline,
//                    where the abort flag cuts the poll short.
//   .. 2000 ms       the worker, told to abort, leaves its poll within a slice
//                    and ends its request without polls or pauses.
//   .. 2300 ms       the closing report once more when the worker was busy (at
//                    least 100 ms), and the calls left behind by the waits
//                    above get the rest to return.
//   .. 2600 ms       a library whose calls all returned is closed
//                    (Close_DevMonitor, Close_FeatureDevice) and unloaded.
//
// Each bounded call is given a last 120 ms once its deadline passed (the
// abort's grace), so the device waits end by 2720 ms at worst; what follows
// (the shared block, the tray icon, the language library, GDI+) takes
// milliseconds.
#pragma once

#include <cstdint>
#include <optional>

namespace torvo {

inline constexpr std::uint64_t kClosingReportDeadlineMs = 1300;
inline constexpr std::uint64_t kWorkerStopDeadlineMs = 2000;
inline constexpr std::uint64_t kDeviceCallsDeadlineMs = 2300;
inline constexpr std::uint64_t kLibraryCloseDeadlineMs = 2600;
inline constexpr std::uint32_t kLastReportMinWaitMs = 100;
// What a bounded call is given after its deadline, to leave its poll.
inline constexpr std::uint32_t kAbortGraceMs = 120;
// The bound on the whole shutdown.
inline constexpr std::uint64_t kShutdownBoundMs = 3000;

// How long a wait that must end by `deadlineMs` may take when `elapsedMs`
// have passed since the destruction began: what is left, at least
// `minimumMs`.
std::uint32_t WaitBefore(std::uint64_t deadlineMs, std::uint64_t elapsedMs,
                         std::uint32_t minimumMs = 0);

// After the worker was stopped: how long the closing report sent again may
// wait, or none when it is not sent again. It is sent again only when the
// worker was busy during the shutdown (its last reports end with "host
// active", so the device's last word from us must be that the host leaves)
// and the first closing report returned (when it is still stuck in the
// library, a second one would only wait for it too).
std::optional<std::uint32_t> SecondClosingReportWaitMs(bool workerWasBusy,
                                                       bool closingReportReturned,
                                                       std::uint64_t elapsedMs);

}  // namespace torvo
