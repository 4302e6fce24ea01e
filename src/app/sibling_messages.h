// The main window's answers to the suite's other programs: the configurator
// applies its settings (MSG_APPLY_ALL_SETTINGS) or announces changes to the
// shared block (MSG_SETTINGS_CHANGED_A and _B).
#pragma once

#include <cstdint>

#include "app/window_effects.h"

namespace torvo {

// MSG_APPLY_ALL_SETTINGS: adopt the shared block, tell the on-screen
// display, and, with the device present (devicePresence 1), hand the worker
// the request, with wParam as its parameter: the active slot only
// (REQ_SWITCH_SLOT, which answers nobody) when wParam is 3, otherwise the
// whole apply (answered by the worker). When no worker request is among the
// effects, or posting it fails, AnswerApplyAtOnce follows.
Effects DecideApplyAllSetting(std::uintptr_t wParam, int devicePresence);

// The configurator's answer when no upload could be requested: it may
// enable its OK and Apply buttons again.
Effects AnswerApplyAtOnce(bool configuratorOpen);

// MSG_SETTINGS_CHANGED_A / _B: adopt the shared block, nothing else.
Effects DecideSettingsChanged();

}  // namespace torvo
