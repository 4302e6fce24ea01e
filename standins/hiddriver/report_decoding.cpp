#include "hiddriver/report_decoding.h"

#include <cstring>

namespace torvo::vkb {
namespace {

// Decodes the pairs of a checked macro report into its steps. A long-delay
// pair (quotient, 0x02) adds quotient x 100 ms to the next step's delay.
void DecodeMacro(Macro& macro, const std::uint8_t* r) {
  const std::uint8_t slot = r[2];
  const std::uint8_t number = r[3];
  const std::uint32_t reports = macro.reports;
  std::memset(&macro, 0, sizeof(macro));
  macro.present = 1;
  macro.slot = slot;
  macro.number = number;
  macro.repeat = r[4];
  macro.reports = reports + 1;
  std::memcpy(macro.name, r + kMacroNameOffset, kMacroNameBytes);
  macro.pairCount = r[kMacroPairCountOffset];
  std::memcpy(macro.pairs, r + kMacroPairsOffset, 2u * macro.pairCount);

  std::uint32_t pendingHundreds = 0;
  std::uint8_t pendingLongPairs = 0;
  for (int i = 0; i < macro.pairCount; ++i) {
    const std::uint8_t delayByte = macro.pairs[2 * i];
    const std::uint8_t keyByte = macro.pairs[2 * i + 1];
    if (keyByte == kLongDelayKey) {
      pendingHundreds += delayByte;
      ++pendingLongPairs;
      ++macro.longPairCount;
      continue;
    }
    MacroStep& step = macro.steps[macro.stepCount++];
    step.keyCode = keyByte;
    step.pressed = (delayByte & 0x80) == 0 ? 1 : 0;
    step.longPairs = pendingLongPairs;
    step.delayMs = (delayByte & 0x7Fu) * 5u + 100u * pendingHundreds;
    pendingHundreds = 0;
    pendingLongPairs = 0;
  }
  macro.trailingLongPair = pendingLongPairs != 0 ? 1 : 0;
}

void ApplyReport(KeyboardModel& model, const std::uint8_t* r) {
  switch (r[0]) {
    case kReportStatus:
      model.activeSlot = r[1];
      ++model.uploadStartReports;
      break;
    case kReportActiveSlot:
      model.activeSlot = r[2];
      ++model.activeSlotReports;
      break;
    case kReportKeyTable: {
      SlotModel& slot = model.slots[r[2]];
      std::memcpy(slot.keys, r + 4, sizeof(slot.keys));
      for (int k = 0; k < kKeysPerSlot; ++k) {
        bool valid = false;
        slot.actions[k] = DecodeKeyEntry(slot.keys[k], r[2], k, valid);
      }
      ++slot.keyTableReports;
      ++model.keyTableReports;
      break;
    }
    case kReportMacro:
      DecodeMacro(model.macros[r[3] - 1], r);
      ++model.macroReports;
      break;
    case kReportDialFunction: {
      SlotModel& slot = model.slots[r[2]];
      slot.dialFunction = r[3];
      ++slot.dialFunctionReports;
      ++model.dialFunctionReports;
      break;
    }
    case kReportHostState:
      model.hostActive = r[2];
      model.hostDialShown = r[3];
      ++model.hostStateReports;
      break;
    default:
      break;
  }
}

}  // namespace

std::span<const FixedCombination> FixedCombinations() {
  // Usage codes of the keyboard page: E0 Left Control, E1 Left Shift,
  // E2 Left Alt, E3 Left GUI; 06 C, 07 D, 08 E, 19 V, 1B X, 1D Z, 29 Escape,
  // 2B Tab, 3D F4.
  static constexpr FixedCombination kTable[] = {
      {{0xE2, 0x3D, 0, 0}, "Left Alt + F4"},
      {{0xE3, 0x07, 0, 0}, "Left GUI + D"},
      {{0xE0, 0x06, 0, 0}, "Left Control + C"},
      {{0xE0, 0x1B, 0, 0}, "Left Control + X"},
      {{0xE0, 0x19, 0, 0}, "Left Control + V"},
      {{0xE0, 0x1D, 0, 0}, "Left Control + Z"},
      {{0xE2, 0x2B, 0, 0}, "Left Alt + Tab"},
      {{0xE3, 0x08, 0, 0}, "Left GUI + E"},
      {{0xE0, 0xE1, 0x29, 0}, "Left Control + Left Shift + Escape"},
  };
  return kTable;
}

KeyAction DecodeKeyEntry(const std::uint8_t (&entry)[kKeyEntryBytes], int slot, int key,
                         bool& valid) {
  KeyAction action{};
  action.code = entry[0];
  valid = KeyEntryValid(entry, slot, key);
  switch (entry[0]) {
    case 0x02: {
      action.kind = static_cast<std::uint8_t>(KeyActionKind::kKeys);
      std::memcpy(action.keys, entry + 1, sizeof(action.keys));
      const auto table = FixedCombinations();
      for (std::size_t i = 0; i < table.size(); ++i) {
        if (std::memcmp(table[i].keys, action.keys, sizeof(action.keys)) == 0) {
          action.combination = static_cast<std::uint8_t>(i + 1);
        }
      }
      break;
    }
    case 0x03:
      action.kind = static_cast<std::uint8_t>(KeyActionKind::kMacro);
      action.value = entry[1];
      action.macroNumber = entry[2];
      break;
    case 0x04:
      action.kind = static_cast<std::uint8_t>(KeyActionKind::kFunction);
      action.value = entry[1];
      break;
    case 0x06:
      action.kind = static_cast<std::uint8_t>(KeyActionKind::kSingleKey);
      action.value = entry[1];
      break;
    case 0x0B:
      action.kind = static_cast<std::uint8_t>(KeyActionKind::kParameter);
      action.value = entry[1];
      break;
    default:
      action.kind = static_cast<std::uint8_t>(KeyActionKind::kPlain);
      break;
  }
  return action;
}

Verdict DecodeReport(KeyboardModel& model, const std::uint8_t* report, int length,
                     std::string* detail) {
  const Verdict verdict = CheckReport(report, length, detail);
  if (verdict == Verdict::kAccepted) ApplyReport(model, report);
  return verdict;
}

}  // namespace torvo::vkb
