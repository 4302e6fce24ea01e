// What the main window's decisions ask for. A decision changes the settings
// block and the dial state in place and answers with a list of effects in
// the order they must happen; the window carries them out through its ports
// (see MainWindowCore) and decides nothing itself.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "common/messages.h"

namespace torvo {

enum class EffectKind {
  kPublishConfig,       // copy the working block into the shared block
  kAdoptSharedConfig,   // replace the working block by the shared block
  kPostToConfigurator,  // post message/wParam/lParam to "Vistrane" when it exists
  kPostToOsd,           // post message/wParam/lParam to the on-screen display when it exists
  kSaveConfig,          // rewrite Config.data
  kSaveProfileFiles,    // the bound library record from the active slot, Config.data, SoftWare.data
  kWriteOsdText,        // text into the hand-off file (section "OSDData", key "Message")
  kStartOnScreenKeyboard,
  kShowDial,           // place the dial at the lower right, topmost, and show it
  kHideDial,           // hide the dial window
  kInvalidateDial,     // repaint the whole dial
  kSendHostState,      // host-state report (host active, dial shown = wParam), then the poll
  kSendDialFunction,   // dial-function report (slot wParam, function lParam), then the poll
  kPostWorkerRequest,  // worker request wParam with parameter lParam
  kPostApplyRequest,   // the same for an apply, answered at once (kAnswerApply) when refused
  kAnswerApply,        // MSG_CFG_APPLY_DONE to the configurator, with the apply's traces
  kStartTimer,         // the window's timer wParam, every lParam ms
  kStopTimer,          // kill the window's timer wParam
  kOpenFeatureDevice,  // Open_FeatureDevice (its result is not used); the device is present then
  kCloseFeatureDevice,
  kAddTrayIcon,
  kRemoveTrayIcon,
  kOpenConfigurator,       // raise the configurator, or start it when it is not running
  kBringOwnWindowForward,  // bring this program's last active window forward
  kShowTrayMenu,           // the tray icon's menu at the pointer
  kTrace,                  // a debug trace (text)
};

struct Effect {
  EffectKind kind;
  unsigned message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
  std::u16string text;

  bool operator==(const Effect&) const = default;
};

using Effects = std::vector<Effect>;

namespace effect {
inline Effect Simple(EffectKind kind) {
  return {kind, 0, 0, 0, {}};
}
inline Effect PostToConfigurator(unsigned message, std::uintptr_t wParam = 0,
                                 std::intptr_t lParam = 0) {
  return {EffectKind::kPostToConfigurator, message, wParam, lParam, {}};
}
inline Effect PostToOsd(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  return {EffectKind::kPostToOsd, message, wParam, lParam, {}};
}
inline Effect WriteOsdText(std::u16string text) {
  return {EffectKind::kWriteOsdText, 0, 0, 0, std::move(text)};
}
inline Effect SendHostState(bool dialShown) {
  return {EffectKind::kSendHostState, 0, dialShown ? 1u : 0u, 0, {}};
}
inline Effect PostWorkerRequest(std::uintptr_t request, std::intptr_t parameter) {
  return {EffectKind::kPostWorkerRequest, 0, request, parameter, {}};
}
inline Effect PostApplyRequest(std::uintptr_t request, std::intptr_t parameter) {
  return {EffectKind::kPostApplyRequest, 0, request, parameter, {}};
}
inline Effect SendDialFunction(int slot, int function) {
  return {EffectKind::kSendDialFunction,
          0,
          static_cast<std::uintptr_t>(slot),
          static_cast<std::intptr_t>(function),
          {}};
}
inline Effect StartTimer(unsigned id, std::uint32_t periodMs) {
  return {EffectKind::kStartTimer, 0, id, static_cast<std::intptr_t>(periodMs), {}};
}
inline Effect StopTimer(unsigned id) {
  return {EffectKind::kStopTimer, 0, id, 0, {}};
}
inline Effect TraceText(std::u16string text) {
  return {EffectKind::kTrace, 0, 0, 0, std::move(text)};
}
}  // namespace effect

// The announcement of a switch of the active slot to `slot` (0..3): the
// configurator (MSG_CFG_PROFILE_CHANGED) and the on-screen display
// (MSG_OSD_SHOW with kOsdShowSlot, the slot in lParam's high 16 bits).
Effects ActiveSlotAnnouncement(int slot);

// Saving the active slot's selection (SaveActiveProfile): the block is
// published, the bound library record and both files are saved, and the
// configurator is told (MSG_CFG_SETTINGS_SAVED), in that order.
Effects SaveActiveProfileEffects();

// Whether an effect reaches the device (a report, or a worker request).
bool ReachesDevice(EffectKind kind);

// Closing the configurator: MSG_CFG_CLOSE_NOTICE, then MSG_CLOSE.
Effects ConfiguratorCloseEffects();
// At exit: the configurator as above, then MSG_CLOSE to the on-screen display.
Effects SiblingCloseEffects();

// For test failure messages.
const char* EffectKindName(EffectKind kind);
std::ostream& operator<<(std::ostream& out, const Effect& effect);

}  // namespace torvo
