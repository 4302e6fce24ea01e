// Following the foreground application: one check per tick of the
// foreground timer, and the switch of the active slot it may lead to.
#pragma once

#include <optional>
#include <string>

#include "app/window_effects.h"
#include "common/text_comparison.h"
#include "settings/config_block.h"

namespace torvo {

// One check. `foregroundExecutable`: the file name of the program that owns
// the foreground window, none when it could not be found (no switch then).
// A program of no slot, or of the active slot, changes nothing. Names are
// compared by `text`, as the system compares them.
Effects DecideFollowForeground(const std::optional<std::u16string>& foregroundExecutable,
                               ConfigBlock& config, const CaseInsensitiveText& text);

// Makes `slot` (0..3) active and tells everyone: the shared block, the
// device (through the worker), the configurator and the on-screen display.
// The switch is not written to Config.data: it reaches the other programs
// through the shared block.
Effects DecideSwitchActiveSlot(int slot, ConfigBlock& config);

}  // namespace torvo
