// What the virtual keyboard does with each call of the device library: the
// report decoder that keeps the model, the status answers, the plug state and
// the queued posts to the monitor window. Pure functions on a ControlBlock;
// the caller holds the channel's mutex.
#pragma once

#include <cstdint>
#include <span>
#include <string>

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

enum class Verdict : std::uint32_t {
  kAccepted,
  kNullBuffer,
  kUnplugged,   // the keyboard left while the program held the device open
  kSetFailing,  // the controller asked SetFeature to fail
  kGetFailing,  // the controller asked GetFeature to fail
  kBadLength,
  kUnknownReport,
  kBadHeader,
  kBadSlot,
  kBadMacroNumber,
  kTooManyPairs,
  kNameNotTerminated,
  kNotOpen,            // before Open_FeatureDevice or after Close_FeatureDevice
  kNonZeroPadding,     // a byte after the report's content is not zero
  kTooManyLongDelays,  // a macro with more than ten long-delay pairs
  kDanglingLongDelay,  // a macro ending with a long-delay pair (no step after it)
  kBadKeyEntry,        // a key-table entry that stands for no action
};

// Fixed English text of a verdict, ending in "\n".
const char* VerdictText(Verdict verdict);
// The verdict in a few words ("feature device not open"), no "\n".
const char* VerdictPhrase(Verdict verdict);
// True for the verdicts that mean the program broke the protocol; false for
// an accepted report and for the failures the controller or an unplugged
// keyboard cause.
bool IsProtocolError(Verdict verdict);

// The key combinations the keyboard knows by name, as a key-table entry of
// kind 0x02 carries them (usage codes, modifier first, unused places 0).
struct FixedCombination {
  std::uint8_t keys[4];
  const char* name;
};
std::span<const FixedCombination> FixedCombinations();

// Decodes key-table entry `key` of slot `slot`; `valid` is false when the
// entry stands for no action (a payload where its kind carries none, a
// function outside 0..3, a macro number other than slot * 20 + key + 1).
KeyAction DecodeKeyEntry(const std::uint8_t (&entry)[kKeyEntryBytes], int slot, int key,
                         bool& valid);

// Checks one set report and, when it is well formed, applies it to the model.
// A rejected report leaves the model untouched; `detail` (optional) then says
// what was wrong.
Verdict DecodeReport(KeyboardModel& model, const std::uint8_t* report, int length,
                     std::string* detail = nullptr);

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
