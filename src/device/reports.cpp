#include "device/reports.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace torvo {
namespace {

std::uint8_t Lo(std::uint16_t code) {
  return static_cast<std::uint8_t>(code & 0xFF);
}

// Shortcut keys the device plays as fixed key combinations (modifier usage
// code first).
struct FixedCombination {
  std::uint8_t actionType;
  KeyEntry entry;
};
constexpr FixedCombination kFixedCombinations[] = {
    {0x31, {0x02, 0xE2, 0x3D, 0, 0}},     // Left Alt + F4
    {0x34, {0x02, 0xE3, 0x07, 0, 0}},     // Left GUI + D
    {0x3A, {0x02, 0xE0, 0x06, 0, 0}},     // Left Control + C
    {0x3B, {0x02, 0xE0, 0x1B, 0, 0}},     // Left Control + X
    {0x3C, {0x02, 0xE0, 0x19, 0, 0}},     // Left Control + V
    {0x3D, {0x02, 0xE0, 0x1D, 0, 0}},     // Left Control + Z
    {0x40, {0x02, 0xE2, 0x2B, 0, 0}},     // Left Alt + Tab
    {0x41, {0x02, 0xE3, 0x08, 0, 0}},     // Left GUI + E
    {0x42, {0x02, 0xE0, 0xE1, 0x29, 0}},  // Left Control + Left Shift + Escape
};

}  // namespace

bool IsValidSlot(std::int64_t slot) {
  return slot >= 0 && slot < kSlotCount;
}
bool IsValidKey(std::int64_t key) {
  return key >= 0 && key < kKeysPerProfile;
}

std::uint8_t MacroNumber(int slot, int key) {
  return static_cast<std::uint8_t>(slot * kKeysPerProfile + key + 1);
}

StatusReport BuildStatusRequest() {
  StatusReport r{};
  r[0] = kStatusReportId;
  return r;
}

UploadStartReport BuildUploadStartReport(int activeSlot) {
  UploadStartReport r{};
  r[0] = kUploadStartReportId;
  r[1] = static_cast<std::uint8_t>(activeSlot);
  r[2] = 0xFF;
  return r;
}

ActiveSlotReport BuildActiveSlotReport(int activeSlot) {
  ActiveSlotReport r{};
  r[0] = kActiveSlotReportId;
  r[1] = 0x04;
  r[2] = static_cast<std::uint8_t>(activeSlot);
  r[3] = 0x04;
  return r;
}

DialFunctionReport BuildDialFunctionReport(int activeSlot, std::uint8_t selectedFunction) {
  DialFunctionReport r{};
  r[0] = kDialFunctionReportId;
  r[1] = static_cast<std::uint8_t>(kDialFunctionReportLength);
  r[2] = static_cast<std::uint8_t>(activeSlot);
  r[3] = selectedFunction;
  return r;
}

HostStateReport BuildHostStateReport(bool hostActive, bool dialShown) {
  HostStateReport r{};
  r[0] = kHostStateReportId;
  r[1] = static_cast<std::uint8_t>(kHostStateReportLength);
  r[2] = hostActive ? 1 : 0;
  r[3] = dialShown ? 1 : 0;
  return r;
}

KeyEntry EncodeKeyEntry(const KeyAssignment& key, int slot, int keyIndex) {
  if (key.actionClass == 4) return {0x06, Lo(key.keyCodes[0]), 0, 0, 0};
  switch (key.actionType) {
    case 1:
      return {0x01, 0, 0, 0, 0};
    case 2:
    case 0x30:
      return {0x02, Lo(key.keyCodes[0]), Lo(key.keyCodes[1]), Lo(key.keyCodes[2]),
              Lo(key.keyCodes[3])};
    case 3:
      return {0x03, key.macroIndex, MacroNumber(slot, keyIndex), 0, 0};
    case 11:
      return {0x0B, key.actionParam, 0, 0, 0};
    case 16:
    case 17:
    case 18:
      return {0x04, static_cast<std::uint8_t>(key.actionType - 15), 0, 0, 0};
    default:
      break;
  }
  for (const FixedCombination& c : kFixedCombinations) {
    if (c.actionType == key.actionType) return c.entry;
  }
  return {key.actionType, 0, 0, 0, 0};
}

KeyTableReport BuildKeyTableReport(const ProfileRecord& profile, int slot) {
  KeyTableReport r{};
  r[0] = kKeyTableReportId;
  r[1] = static_cast<std::uint8_t>(kKeyTableReportLength);
  r[2] = static_cast<std::uint8_t>(slot);
  r[3] = 0x00;
  for (int k = 0; k < kKeysPerProfile; ++k) {
    KeyEntry e = EncodeKeyEntry(profile.keys[k], slot, k);
    std::copy(e.begin(), e.end(), r.begin() + 4 + k * e.size());
  }
  return r;
}

std::uint8_t MacroDelayByte(unsigned delayMs, std::uint8_t keyState) {
  unsigned u = delayMs / 5 + (delayMs % 5 >= 2 ? 1 : 0);
  if (u == 0) u = 1;
  if (u > 0x7F) u = 0x7F;  // bit 7 carries the key state
  return static_cast<std::uint8_t>(u | (keyState != 1 ? 0x80 : 0));
}

MacroReport BuildMacroReport(const KeyAssignment& key, int slot, int keyIndex,
                             const AnsiConverter& converter, MacroFit* fit) {
  MacroFit local;
  MacroFit& f = fit != nullptr ? *fit : local;
  f = MacroFit{};

  MacroReport r{};
  r[0] = kMacroReportId;
  r[1] = static_cast<std::uint8_t>(kMacroReportLength);
  r[2] = static_cast<std::uint8_t>(slot);
  r[3] = MacroNumber(slot, keyIndex);
  r[4] = key.repeatCount != 0 ? key.repeatCount : 1;

  // The label is NUL-terminated inside its array, or fills it whole.
  std::size_t labelLength = 0;
  while (labelLength < std::size(key.label) && key.label[labelLength] != 0) ++labelLength;
  std::u16string label(key.label, key.label + labelLength);
  std::string name = converter.ToAnsi(label);
  if (name.size() >= kMacroNameBytes) {
    f.labelCut = true;
    name = ToAnsiFitting(converter, label, kMacroNameBytes - 1);
  }
  std::size_t nameBytes = std::min(name.size(), kMacroNameBytes - 1);
  std::memcpy(r.data() + kMacroNameOffset, name.data(), nameBytes);  // the rest stays 0

  int steps = key.stepCount;
  if (steps > kMaxMacroSteps) {
    f.stepsLimited = true;
    steps = kMaxMacroSteps;
  }

  // Each step takes its key pair, preceded by a long-delay pair when the
  // pause before it is too long for the delay byte (at most ten such pairs
  // per macro). A macro that needs more than the report's pairs ends after
  // its last whole step that fits: a long-delay pair is never sent without
  // the key pair it belongs to.
  std::size_t pairs = 0;
  int longPairs = 0;
  for (int i = 0; i < steps; ++i) {
    // A step's delay byte carries the pause before it: the delay of the step
    // before, and for the first step the last step's delay (the repeat gap).
    const unsigned before = key.steps[i == 0 ? steps - 1 : i - 1].delayMs;
    const bool longDelay = before > static_cast<unsigned>(kLongDelayThresholdMs);
    const bool longPair = longDelay && longPairs < kMaxLongDelayPairs;
    const unsigned d = longDelay ? before % 100 : before;
    if (pairs + (longPair ? 2 : 1) > kMaxMacroPairs) {
      f.pairsCut = true;
      break;
    }
    if (longPair) {
      const unsigned hundreds = std::min(before / 100, 255u);
      r[kMacroPairsOffset + 2 * pairs] = static_cast<std::uint8_t>(hundreds);
      r[kMacroPairsOffset + 2 * pairs + 1] = 0x02;
      ++pairs;
      ++longPairs;
    }
    r[kMacroPairsOffset + 2 * pairs] = MacroDelayByte(d, key.steps[i].keyState);
    r[kMacroPairsOffset + 2 * pairs + 1] = key.steps[i].keyCode;
    ++pairs;
  }
  r[kMacroPairCountOffset] = static_cast<std::uint8_t>(pairs);
  return r;
}

}  // namespace torvo
