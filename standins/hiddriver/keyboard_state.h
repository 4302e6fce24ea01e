// The virtual keyboard's state and what it does with each call of the device
// library: SetFeature (counted, logged, decoded into the model) and
// GetFeature (the status the behaviour dictates), the feature device's open
// and close, the monitor window, the plug state, the blocking modes and the
// queued posts to the monitor. Pure functions on a ControlBlock; the caller
// holds the channel's mutex. The report checks and the decoding live in
// report_checks.h and report_decoding.h.
#pragma once

#include <cstdint>

#include "hiddriver/control_block.h"
#include "hiddriver/report_checks.h"

namespace torvo::vkb {

inline constexpr std::uint8_t kStatusDone = 1;
inline constexpr std::uint8_t kStatusBusy = 3;

struct FeatureAnswer {
  int result;  // what SetFeature/GetFeature returns
  Verdict verdict;
};

// SetFeature: counts, logs, decodes. Answers 0 when unplugged, in
// "SetFeature failing" mode or for a malformed report.
FeatureAnswer HandleSetFeature(ControlBlock& block, const std::uint8_t* report, int length,
                               std::uint32_t tickMs);
// GetFeature of the status report (id 0x04, length 3): fills byte 1 with the
// status the behaviour dictates. Logged as a get entry.
FeatureAnswer HandleGetFeature(ControlBlock& block, std::uint8_t* report, int length,
                               std::uint32_t tickMs);

int HandleOpenFeatureDevice(ControlBlock& block);
int HandleCloseFeatureDevice(ControlBlock& block);
// Registers the monitor window; a null window is refused (answer 0). Posts
// queued before are dropped.
int HandleOpenDevMonitor(ControlBlock& block, std::uint64_t window, std::uint32_t eventMessage,
                         std::uint32_t connectionMessage, std::uint32_t processId);
// Forgets the monitor window (and drops queued posts) when `processId`
// registered it.
int HandleCloseDevMonitor(ControlBlock& block, std::uint32_t processId);

// Sets the status behaviour. `param` is the busy poll count for
// kBusyThenReady, the status byte for kFixedValue and the time in ms a call
// blocks for kGetBlocks/kSetBlocks (0: until the mode changes).
void SetStatusBehaviour(ControlBlock& block, StatusMode mode, std::uint32_t param,
                        bool rearmEachReport);

// Plugs or unplugs the keyboard; with `notify`, queues the connection post
// (wParam 1 arrived, 0 left). Unplugging closes the feature device.
bool SetPlugged(ControlBlock& block, bool plugged, bool notify);

// Blocking modes. A call of `kind` blocks while the mode blocks that kind and
// the mode's time, counted from the call's start, has not passed. The library
// waits without holding the channel's mutex, looking again every few ms, so a
// controller ends the block by changing the mode.
bool StillBlocked(const ControlBlock& block, LogKind kind, std::uint32_t elapsedMs);
// Counts a call that starts to block; false (nothing counted) when it does not.
bool BeginBlock(ControlBlock& block, LogKind kind);
void EndBlock(ControlBlock& block);
bool QueueInputEvent(ControlBlock& block, std::uint16_t eventClass, std::uint16_t value);
bool QueueConnection(ControlBlock& block, std::uint32_t wParam);

}  // namespace torvo::vkb
