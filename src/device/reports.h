// The feature reports the program exchanges with the keyboard, each built in a
// zero-filled buffer of the report's exact length, and the encodings of a
// profile's twenty keys and of a key's macro.
//
// The builders take the settings block as it comes from outside (file, shared
// block) and never index with an unchecked value: slots and keys are checked,
// step counts are limited to the record's capacity and every write stays in
// its report.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "device/ansi_converter.h"
#include "settings/config_block.h"

namespace torvo {

inline constexpr std::size_t kStatusReportLength = 3;
inline constexpr std::size_t kUploadStartReportLength = 8;
inline constexpr std::size_t kActiveSlotReportLength = 4;
inline constexpr std::size_t kKeyTableReportLength = 104;
inline constexpr std::size_t kMacroReportLength = 130;
inline constexpr std::size_t kDialFunctionReportLength = 8;
inline constexpr std::size_t kHostStateReportLength = 8;

inline constexpr std::uint8_t kStatusReportId = 0x04;
inline constexpr std::uint8_t kUploadStartReportId = 0x04;
inline constexpr std::uint8_t kActiveSlotReportId = 0x05;
inline constexpr std::uint8_t kKeyTableReportId = 0x08;
inline constexpr std::uint8_t kMacroReportId = 0x09;
inline constexpr std::uint8_t kDialFunctionReportId = 0x0B;
inline constexpr std::uint8_t kHostStateReportId = 0x10;

// Status answers of the device (byte 1 of the status report).
inline constexpr std::uint8_t kStatusDone = 1;
inline constexpr std::uint8_t kStatusBusy = 3;

// Macro report layout.
inline constexpr std::size_t kMacroNameOffset = 5;
inline constexpr std::size_t kMacroNameBytes = 24;  // NUL included
inline constexpr std::size_t kMacroPairCountOffset = 29;
inline constexpr std::size_t kMacroPairsOffset = 30;
inline constexpr std::size_t kMaxMacroPairs = 50;
inline constexpr int kMaxLongDelayPairs = 10;
inline constexpr int kLongDelayThresholdMs = 635;

using StatusReport = std::array<std::uint8_t, kStatusReportLength>;
using UploadStartReport = std::array<std::uint8_t, kUploadStartReportLength>;
using ActiveSlotReport = std::array<std::uint8_t, kActiveSlotReportLength>;
using KeyTableReport = std::array<std::uint8_t, kKeyTableReportLength>;
using MacroReport = std::array<std::uint8_t, kMacroReportLength>;
using DialFunctionReport = std::array<std::uint8_t, kDialFunctionReportLength>;
using HostStateReport = std::array<std::uint8_t, kHostStateReportLength>;
using KeyEntry = std::array<std::uint8_t, 5>;

// True for a slot index 0..3 / a key index 0..19.
bool IsValidSlot(std::int64_t slot);
bool IsValidKey(std::int64_t key);

// The macro number the device knows a key's macro by: slot * 20 + key + 1.
std::uint8_t MacroNumber(int slot, int key);

StatusReport BuildStatusRequest();
// Reports naming the active slot; the caller passes a slot checked to be 0..3.
UploadStartReport BuildUploadStartReport(int activeSlot);
ActiveSlotReport BuildActiveSlotReport(int activeSlot);
DialFunctionReport BuildDialFunctionReport(int activeSlot, std::uint8_t selectedFunction);
HostStateReport BuildHostStateReport(bool hostActive, bool dialShown);

// The 5-byte key-table entry of key `key` of slot `slot`.
KeyEntry EncodeKeyEntry(const KeyAssignment& key, int slot, int keyIndex);
// The key-table report of slot `slot` (0..3) of `profile`.
KeyTableReport BuildKeyTableReport(const ProfileRecord& profile, int slot);

// What BuildMacroReport had to leave out to fit the report.
struct MacroFit {
  bool stepsLimited = false;  // stepCount above the record's capacity
  bool pairsCut = false;      // more than 50 pairs were needed
  bool labelCut = false;      // the name did not fit 23 bytes
};

// The macro report of key `keyIndex` of slot `slot` (both valid).
MacroReport BuildMacroReport(const KeyAssignment& key, int slot, int keyIndex,
                             const AnsiConverter& converter, MacroFit* fit = nullptr);

// The delay byte of a step for a delay (after long-delay pairs) of d ms:
// d / 5 rounded half up at 2.5 ms, at least 1, bit 7 set when the key state is
// not 1.
std::uint8_t MacroDelayByte(unsigned delayMs, std::uint8_t keyState);

}  // namespace torvo
