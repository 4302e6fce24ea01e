#include "app/foreground_switch.h"

#include "device/device_state.h"
#include "settings/foreground_rule.h"

namespace torvo {

Effects FollowForegroundApplication(const std::optional<std::u16string>& foregroundExecutable,
                                    ConfigBlock& config, const CaseInsensitiveText& text) {
  if (!foregroundExecutable.has_value()) return {};
  const std::optional<int> match = MatchForegroundSlot(config, *foregroundExecutable, text);
  if (!match.has_value() || *match == config.header.activeSlot) return {};
  return SwitchActiveSlot(*match, config);
}

Effects SwitchActiveSlot(int slot, ConfigBlock& config) {
  if (slot < 0 || slot >= kSlotCount) return {effect::TraceText(u"Slot out of range ignored\n")};
  config.header.activeSlot = slot;
  return {effect::Simple(EffectKind::kPublishConfig), effect::PostWorkerRequest(REQ_SWITCH_SLOT, 0),
          effect::PostToConfigurator(MSG_CFG_PROFILE_CHANGED),
          effect::PostToOsd(MSG_OSD_SHOW, kOsdShowSlot,
                            static_cast<std::intptr_t>(static_cast<std::uint32_t>(slot) << 16))};
}

}  // namespace torvo
