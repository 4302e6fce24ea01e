// Whether a report the program sends is well formed, as the keyboard judges
// it: the report ids and layouts it understands, the verdicts it gives and
// their texts. Checks only; nothing here changes the keyboard's model.
#pragma once

#include <cstdint>
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

// Lengths of the reports by id.
inline constexpr int kUploadStartLength = 8;
inline constexpr int kActiveSlotLength = 4;
inline constexpr int kKeyTableLength = 104;
inline constexpr int kMacroLength = 130;
inline constexpr int kShortReportLength = 8;  // dial function, host state
inline constexpr int kStatusGetLength = 3;

// Where a macro report keeps its name, its pair count and its pairs.
inline constexpr int kMacroNameOffset = 5;
inline constexpr int kMacroPairCountOffset = 29;
inline constexpr int kMacroPairsOffset = 30;

// Key byte that marks a long-delay pair in a macro report.
inline constexpr std::uint8_t kLongDelayKey = 0x02;

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

// True when key-table entry `key` of slot `slot` stands for an action: no
// payload where its kind carries none, a function within 0..3, a macro
// number of slot * 20 + key + 1.
bool KeyEntryValid(const std::uint8_t (&entry)[kKeyEntryBytes], int slot, int key);

// Checks one set report against the layout of its id. `detail` (optional)
// says what was wrong when the verdict is not kAccepted.
Verdict CheckReport(const std::uint8_t* report, int length, std::string* detail = nullptr);

}  // namespace torvo::vkb
