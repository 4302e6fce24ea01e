// The main window's decisions on the device's input events, the dial's
// toggle and hide messages and a click on one of the dial's buttons. Each
// changes the settings block and the dial state in place and answers the
// effects to carry out, in order.
//
// A device event code carries the event class in its high 16 bits and the
// value in its low 16 bits; "low" and "high" below are the value's bytes.
#pragma once

#include <cstdint>

#include "app/dial_state.h"
#include "app/window_effects.h"
#include "settings/config_block.h"

namespace torvo {

// Device event classes.
inline constexpr std::uint32_t kEventSlotSwitch = 0x1000;
inline constexpr std::uint32_t kEventValue2000 = 0x2000;
inline constexpr std::uint32_t kEventValue3000 = 0x3000;
inline constexpr std::uint32_t kEventOnScreenKeyboard = 0x4000;
inline constexpr std::uint32_t kEventShowHideDial = 0x5000;
inline constexpr std::uint32_t kEventGesture = 0x6000;
inline constexpr std::uint32_t kEventPreview = 0x7000;
inline constexpr std::uint32_t kEventConnection = 0x7F00;
inline constexpr std::uint32_t kEventValue9000 = 0x9000;
inline constexpr std::uint32_t kEventKeyText = 0xA000;
// A slot-switch value that republishes without changing the slot.
inline constexpr std::uint32_t kSlotSwitchRepublish = 0x3000;

// The device event code of MSG_DEVICE_EVENT: the class is wParam's low 16
// bits, the value lParam's low 16 bits.
std::uint32_t DeviceEventCode(std::uintptr_t wParam, std::intptr_t lParam);

// One device event. `configuratorOpen`: the configurator's window exists
// (the on-screen keyboard is only started for it).
Effects DecideDeviceEvent(std::uint32_t code, ConfigBlock& config, DialState& dial,
                          bool configuratorOpen);

// A setting the device reports (classes 0x1000, 0x2000, 0x3000, 0x9000 and
// 0xA000): every path ends with saving Config.data.
Effects DecideDeviceSetting(std::uint32_t eventClass, std::uint32_t value, ConfigBlock& config);

// Showing and hiding the dial by this program's own logic.
Effects DecideShowDial(DialState& dial);
Effects DecideHideDial(DialState& dial);

// MSG_TOGGLE_DIAL: shows a hidden dial or hides a shown one with the active
// slot's function, and tells the device.
Effects DecideToggleDial(const ConfigBlock& config, DialState& dial);

// WM_COMMAND 2001..2010: hides the dial and tells the device.
Effects DecideHideDialCommand(DialState& dial);

// A click on the dial's button for `function` (1..8): the function becomes
// the active slot's selection, the device is told, the dial repainted and
// the selection saved. A function outside 1..8 changes nothing.
Effects DecideCommitDialFunction(int function, ConfigBlock& config, DialState& dial);

// The label of a key as the on-screen display is given it: at most 99
// characters, read only within the field, ending at its first NUL.
std::u16string KeyLabelText(const KeyAssignment& key);

}  // namespace torvo
