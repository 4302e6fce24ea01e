// What the virtual keyboard does with each call of the device library: the
// report decoder that keeps the model, the status answers, the plug state and
// the queued posts to the monitor window. Pure functions on a ControlBlock;
// the caller holds the channel's mutex.
#pragma once

#include <cstdint>

#include "hiddriver/control_block.h"

namespace torvo::vkb {

// Report ids the keyboard understands.
inline constexpr std::uint8_t kReportStatus = 0x04;  // get: status; set: upload start
inline constexpr std::uint8_t kReportActiveSlot = 0x05;
inline constexpr std::uint8_t kReportKeyTable = 0x08;
inline constexpr std::uint8_t kReportMacro = 0x09;
inline constexpr std::uint8_t kReportDialFunction = 0x0B;
inline constexpr std::uint8_t kReportHostState = 0x10;

// Key byte that marks a long-delay pair in a macro report.
inline constexpr std::uint8_t kLongDelayKey = 0x02;

inline constexpr std::uint8_t kStatusDone = 1;
inline constexpr std::uint8_t kStatusBusy = 3;

enum class Verdict {
  kAccepted,
  kNullBuffer,
  kUnplugged,
  kSetFailing,
  kGetFailing,
  kBadLength,
  kUnknownReport,
  kBadHeader,
  kBadSlot,
  kBadMacroNumber,
  kTooManyPairs,
  kNameNotTerminated,
};

// Fixed English text of a verdict, ending in "\n".
const char* VerdictText(Verdict verdict);

// Checks one set report and, when it is well formed, applies it to the model.
// A rejected report leaves the model untouched.
Verdict DecodeReport(KeyboardModel& model, const std::uint8_t* report, int length);

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
// kBusyThenReady and the status byte for kFixedValue.
void SetStatusBehaviour(ControlBlock& block, StatusMode mode, std::uint32_t param,
                        bool rearmEachReport);

// Plugs or unplugs the keyboard; with `notify`, queues the connection post
// (wParam 1 arrived, 0 left). Unplugging closes the feature device.
bool SetPlugged(ControlBlock& block, bool plugged, bool notify);
bool QueueInputEvent(ControlBlock& block, std::uint16_t eventClass, std::uint16_t value);
bool QueueConnection(ControlBlock& block, std::uint32_t wParam);

}  // namespace torvo::vkb
