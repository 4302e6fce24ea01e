// Config.data: the settings block as one 84212-byte image in the settings
// folder.
#pragma once

#include "settings/config_block.h"
#include "settings/settings_folder.h"

namespace torvo {

inline constexpr char16_t kConfigFileName[] = u"Config.data";

// Fills `block` from Config.data. A file that cannot be read gives the
// default slots and header fields (the other header bytes keep what `block`
// held), which are saved at once. A short file is laid over the default
// block; a long one counts with its first 84212 bytes. An activeSlot outside
// 0..3 becomes 0. The block always ends with a slot in range.
void LoadConfig(const SettingsEnvironment& env, ConfigBlock& block);

// Replaces Config.data with the block's image, atomically. False (with a
// trace) when the file could not be replaced; the old file then stays.
bool SaveConfig(const SettingsEnvironment& env, const ConfigBlock& block);

}  // namespace torvo
