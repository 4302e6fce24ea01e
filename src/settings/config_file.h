// Config.data: the settings block as one 84212-byte image in the settings
// folder.
#pragma once

#include "settings/config_block.h"
#include "settings/pending_saves.h"
#include "settings/settings_folder.h"

namespace torvo {

inline constexpr char16_t kConfigFileName[] = u"Config.data";

// Fills `block` from Config.data and tells what the read found. Without a
// file (kNotFound) the default slots and header fields are made (the other
// header bytes keep what `block` held) and saved at once. A file that exists
// but cannot be read (kFailed) gives the same defaults in memory only: the
// file is not written, since it may hold the user's settings. A short file
// is laid over the default block; a long one counts with its first 84212
// bytes. An activeSlot outside 0..3 becomes 0. The block always ends with a
// slot in range.
ReadResult LoadConfig(const SettingsEnvironment& env, ConfigBlock& block);

// Replaces Config.data with the block's image, atomically. False (with a
// trace) when the file could not be replaced; the old file then stays. With
// `saves`, a replace that cannot happen now waits there and is retried.
bool SaveConfig(const SettingsEnvironment& env, const ConfigBlock& block,
                PendingSaves* saves = nullptr);

}  // namespace torvo
