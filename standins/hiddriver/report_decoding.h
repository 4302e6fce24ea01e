// What the keyboard makes of a well-formed report: the bytes decoded into
// its model (key-table entries as the actions they stand for, macro pairs as
// steps with their delays, the active slot, the dial function, the host
// state). A report is checked first and applied only when accepted.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "hiddriver/control_block.h"
#include "hiddriver/report_checks.h"

namespace torvo::vkb {

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

}  // namespace torvo::vkb
