// The effects as text, for the tests' failure messages. Kept apart from the
// effects themselves: the stream operator brings the whole of the C++
// streams and locales with it, which the program never uses, and a static
// library adds an object file to the program only when the program uses
// something defined in it.
#include <ostream>

#include "app/window_effects.h"

namespace torvo {

const char* EffectKindName(EffectKind kind) {
  switch (kind) {
    case EffectKind::kPublishConfig:
      return "PublishConfig";
    case EffectKind::kAdoptSharedConfig:
      return "AdoptSharedConfig";
    case EffectKind::kPostToConfigurator:
      return "PostToConfigurator";
    case EffectKind::kPostToOsd:
      return "PostToOsd";
    case EffectKind::kSaveConfig:
      return "SaveConfig";
    case EffectKind::kSaveProfileFiles:
      return "SaveProfileFiles";
    case EffectKind::kWriteOsdText:
      return "WriteOsdText";
    case EffectKind::kStartOnScreenKeyboard:
      return "StartOnScreenKeyboard";
    case EffectKind::kShowDial:
      return "ShowDial";
    case EffectKind::kHideDial:
      return "HideDial";
    case EffectKind::kInvalidateDial:
      return "InvalidateDial";
    case EffectKind::kSendHostState:
      return "SendHostState";
    case EffectKind::kSendDialFunction:
      return "SendDialFunction";
    case EffectKind::kPostWorkerRequest:
      return "PostWorkerRequest";
    case EffectKind::kPostApplyRequest:
      return "PostApplyRequest";
    case EffectKind::kAnswerApply:
      return "AnswerApply";
    case EffectKind::kStartTimer:
      return "StartTimer";
    case EffectKind::kStopTimer:
      return "StopTimer";
    case EffectKind::kOpenFeatureDevice:
      return "OpenFeatureDevice";
    case EffectKind::kCloseFeatureDevice:
      return "CloseFeatureDevice";
    case EffectKind::kAddTrayIcon:
      return "AddTrayIcon";
    case EffectKind::kRemoveTrayIcon:
      return "RemoveTrayIcon";
    case EffectKind::kOpenConfigurator:
      return "OpenConfigurator";
    case EffectKind::kBringOwnWindowForward:
      return "BringOwnWindowForward";
    case EffectKind::kShowTrayMenu:
      return "ShowTrayMenu";
    case EffectKind::kTrace:
      return "Trace";
  }
  return "?";
}

std::ostream& operator<<(std::ostream& out, const Effect& effect) {
  out << EffectKindName(effect.kind);
  if (effect.message != 0 || effect.wParam != 0 || effect.lParam != 0) {
    out << "(" << effect.message << ", " << effect.wParam << ", 0x" << std::hex << effect.lParam
        << std::dec << ")";
  }
  if (!effect.text.empty()) {
    out << " \"";
    for (char16_t c : effect.text) out << (c < 0x80 ? static_cast<char>(c) : '?');
    out << "\"";
  }
  return out;
}

}  // namespace torvo
