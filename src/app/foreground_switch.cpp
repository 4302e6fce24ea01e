#include "app/foreground_switch.h"

#include "device/device_state.h"
#include "settings/foreground_rule.h"

namespace torvo {

Effects DecideFollowForeground(const std::optional<std::u16string>& foregroundExecutable,
                               ConfigBlock& config, const CaseInsensitiveText& text) {
  if (!foregroundExecutable.has_value()) return {};
  const std::optional<int> match = MatchForegroundSlot(config, *foregroundExecutable, text);
  if (!match.has_value() || *match == config.header.activeSlot) return {};
  return DecideSwitchActiveSlot(*match, config);
}

Effects DecideSwitchActiveSlot(int slot, ConfigBlock& config) {
  if (slot < 0 || slot >= kSlotCount) return {effect::TraceText(u"Slot out of range ignored\n")};
  config.header.activeSlot = slot;
  Effects effects = {effect::Simple(EffectKind::kPublishConfig),
                     effect::PostWorkerRequest(REQ_SWITCH_SLOT, 0)};
  for (Effect& e : ActiveSlotAnnouncement(slot)) effects.push_back(std::move(e));
  return effects;
}

}  // namespace torvo
