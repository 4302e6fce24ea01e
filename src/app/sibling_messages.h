// The main window's answers to the suite's other programs: the configurator
// applies its settings (MSG_APPLY_ALL_SETTINGS) or announces changes to the
// shared block (MSG_SETTINGS_CHANGED_A and _B).
#pragma once

#include <cstdint>

#include "app/window_effects.h"

namespace torvo {

// MSG_APPLY_ALL_SETTINGS, in two decisions taken in turn: first the copy
// (adopt the shared block, tell the on-screen display), then, once the copy
// has happened, the request. With the device present (or arriving: the
// request waits for the open), the worker is handed the active slot only
// (REQ_SWITCH_SLOT, which answers nobody) when wParam is 3, otherwise the
// whole apply (answered by the worker), with wParam as its parameter. With
// the device absent, or when the request cannot be posted, the apply is
// answered at once (kAnswerApply).
Effects DecideApplyAllSetting();
Effects DecideApplyRequest(std::uintptr_t wParam, bool deviceExpected);

// The answer to an apply when no upload was requested: the configurator, if
// it is open, may enable its OK and Apply buttons again.
Effects AnswerApplyAtOnce(bool configuratorOpen);

// MSG_SETTINGS_CHANGED_A / _B: adopt the shared block, nothing else.
Effects DecideSettingsChanged();

}  // namespace torvo
