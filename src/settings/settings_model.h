// Defaults and checks of the settings block: the default profiles, the
// block made when there is no Config.data, the run-time fields cleared at
// every start and the range check of the active slot.
#pragma once

#include <cstdint>

#include "settings/config_block.h"

namespace torvo {

// HID usage codes of the 104 key positions, in position order.
extern const std::uint8_t kDefaultKeyCodeMap[kKeyCodeMapSize];

// Fills `record` with the defaults of `slot` (slot 0 or any other slot).
// Bytes without a default keep what the caller put there (zero in practice).
void MakeDefaultProfile(ProfileRecord& record, int slot);

// Header defaults: activeSlot 0, word1 4, word2 1, every libraryIndex 0.
// The upload flags and run-time words are left as they are.
void MakeDefaultHeaderFields(ConfigHeader& header);

// The whole default block: zero everywhere, then the header defaults and the
// default profile of each slot.
void MakeDefaultBlock(ConfigBlock& block);

// Clears the upload flags and the run-time words that describe the last run
// (header bytes 28..711 and 716..735); bytes 712..715 and 736..755 are kept.
void ResetRuntimeFields(ConfigHeader& header);

// Brings an activeSlot outside 0..3 back to 0 with a trace. True when the
// value was already in range.
bool ValidateActiveSlot(ConfigHeader& header);

// The slot that activeSlot names, or 0 when it is out of range (for readers
// that must not change the block).
int ActiveSlotIndex(const ConfigHeader& header);

}  // namespace torvo
