#include "app/window_effects.h"

namespace torvo {

Effects ActiveSlotAnnouncement(int slot) {
  const auto announced =
      static_cast<std::intptr_t>(static_cast<std::uint32_t>(slot & 0xFFFF) << 16);
  return {effect::PostToConfigurator(MSG_CFG_PROFILE_CHANGED),
          effect::PostToOsd(MSG_OSD_SHOW, kOsdShowSlot, announced)};
}

Effects SaveActiveProfileEffects() {
  return {effect::Simple(EffectKind::kPublishConfig), effect::Simple(EffectKind::kSaveProfileFiles),
          effect::PostToConfigurator(MSG_CFG_SETTINGS_SAVED)};
}

bool ReachesDevice(EffectKind kind) {
  return kind == EffectKind::kSendHostState || kind == EffectKind::kSendDialFunction ||
         kind == EffectKind::kPostWorkerRequest || kind == EffectKind::kPostApplyRequest;
}

Effects ConfiguratorCloseEffects() {
  return {effect::PostToConfigurator(MSG_CFG_CLOSE_NOTICE), effect::PostToConfigurator(MSG_CLOSE)};
}

Effects SiblingCloseEffects() {
  Effects effects = ConfiguratorCloseEffects();
  effects.push_back(effect::PostToOsd(MSG_CLOSE, 0, 0));
  return effects;
}

}  // namespace torvo
