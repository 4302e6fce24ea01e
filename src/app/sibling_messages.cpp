#include "app/sibling_messages.h"

#include "common/messages.h"

namespace torvo {

Effects DecideApplyAllSetting() {
  // The lParam of MSG_OSD_SETTINGS_APPLIED carries nothing yet: 0.
  return {effect::Simple(EffectKind::kAdoptSharedConfig),
          effect::PostToOsd(MSG_OSD_SETTINGS_APPLIED, 0, 0)};
}

Effects DecideApplyRequest(std::uintptr_t wParam, bool deviceExpected) {
  if (!deviceExpected) return {effect::Simple(EffectKind::kAnswerApply)};
  // A switch of the active slot only is a plain slot switch for the worker:
  // nothing is posted to the configurator for it.
  const std::uintptr_t request = wParam == 3 ? REQ_SWITCH_SLOT : REQ_APPLY;
  return {effect::PostApplyRequest(request, static_cast<std::intptr_t>(wParam))};
}

Effects AnswerApplyAtOnce(bool configuratorOpen) {
  const Effect done = effect::TraceText(u"OnApplyAllSetting  Send Enable OK/Apply Button\n");
  if (configuratorOpen) {
    return {effect::PostToConfigurator(MSG_CFG_APPLY_DONE), done};
  }
  return {effect::TraceText(u"OnApplyAllSetting Don't find Mirk Option Dialog\n"), done};
}

Effects DecideSettingsChanged() {
  return {effect::Simple(EffectKind::kAdoptSharedConfig)};
}

}  // namespace torvo
