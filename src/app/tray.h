// The decisions of the notification-area icon and its menu: the tip text,
// what a mouse message over the icon does, and opening or raising the
// suite's configurator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "app/window_effects.h"
#include "common/messages.h"
#include "common/desktop.h"

namespace torvo {

// Characters of the tip field, its terminator included.
inline constexpr std::size_t kTrayTipCapacity = 128;

// The tip as it fits the tip field: at most 127 code units, never ending in
// the first half of a surrogate pair.
std::u16string TrayTipText(std::u16string_view text);

enum class TrayMouseAction {
  kNone,
  kRaiseAndOpenConfigurator,  // left button down
  kShowMenu,                  // right button down
};
// `mouseMessage` is the notification's lParam: the mouse message over the icon.
TrayMouseAction TrayActionFor(std::intptr_t mouseMessage);
// What the notification does: the left button raises this program's window
// and opens the configurator, the right button shows the menu.
Effects DecideTrayNotify(std::intptr_t mouseMessage);

// "%sConfig.exe" with the program folder (which ends with a backslash).
std::u16string ConfiguratorProgramPath(std::u16string_view programFolder);

// Raises the running configurator ("Vistrane") through `raise`, or starts it
// from the program folder when it is not running. Writes the three traces.
void OpenOrRaiseConfigurator(Desktop& desktop, const std::function<void(WindowHandle)>& raise,
                             std::u16string_view programFolder);

}  // namespace torvo
