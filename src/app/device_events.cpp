#include "app/device_events.h"

#include "settings/settings_model.h"

namespace torvo {
namespace {

constexpr int kFunctionCount = 8;
constexpr std::size_t kMaxLabelCharacters = 99;

ProfileRecord& ActiveSlot(ConfigBlock& config) {
  return config.slots[ActiveSlotIndex(config.header)];
}

bool IsDialFunction(std::uint32_t function) {
  return function >= 1 && function <= kFunctionCount;
}

// A value the device reports for the active slot: published, told to the
// configurator and saved.
Effects ValueChanged() {
  return {effect::Simple(EffectKind::kPublishConfig),
          effect::PostToConfigurator(MSG_CFG_VALUE_CHANGED),
          effect::Simple(EffectKind::kSaveConfig)};
}

Effects GestureEvent(std::uint32_t low, ConfigBlock& config, DialState& dial) {
  if (dial.dialShown != 1) return {};
  ProfileRecord& slot = ActiveSlot(config);
  if (low == 1) {
    dial.previewMode = 0;
    dial.currentFunction = 0;
    dial.savedFunction = slot.selectedFunction;
    return {effect::Simple(EffectKind::kInvalidateDial)};
  }
  if (low == 2) {
    dial.previewMode = 0;
    if (dial.currentFunction <= 0) dial.currentFunction = dial.savedFunction;
    slot.selectedFunction = static_cast<std::uint8_t>(dial.currentFunction);
    Effects effects = {effect::Simple(EffectKind::kInvalidateDial)};
    for (Effect& e : SaveActiveProfileEffects()) effects.push_back(std::move(e));
    return effects;
  }
  return {};
}

// The device points at function `low`; 0 points at none (the dial shows no
// sector, and a gesture ending there keeps the function it started with).
Effects PreviewEvent(std::uint32_t low, DialState& dial) {
  if (dial.dialShown != 1) return {};
  if (low != 0 && !IsDialFunction(low)) {
    return {effect::TraceText(u"Dial preview of an unknown function ignored\n")};
  }
  dial.previewMode = 1;
  dial.currentFunction = static_cast<int>(low);
  return {effect::Simple(EffectKind::kInvalidateDial)};
}

}  // namespace

std::uint32_t DeviceEventCode(std::uintptr_t wParam, std::intptr_t lParam) {
  return (static_cast<std::uint32_t>(wParam) << 16) |
         (static_cast<std::uint32_t>(lParam) & 0xFFFFu);
}

Effects DecideDeviceEvent(std::uint32_t code, ConfigBlock& config, DialState& dial,
                          bool configuratorOpen) {
  const std::uint32_t eventClass = code >> 16;
  const std::uint32_t value = code & 0xFFFFu;
  const std::uint32_t low = value & 0xFFu;
  const std::uint32_t high = value >> 8;
  switch (eventClass) {
    case kEventConnection:
      // Arrival and removal are the device presence's (PresenceTracker), and
      // the core hands them over before any decision here.
      return {};
    case kEventSlotSwitch:
    case kEventValue2000:
    case kEventValue3000:
    case kEventValue9000:
    case kEventKeyText:
      return DecideDeviceSetting(eventClass, value, config);
    case kEventOnScreenKeyboard:
      if (low == 1 && high == 0 && configuratorOpen) {
        return {effect::Simple(EffectKind::kStartOnScreenKeyboard)};
      }
      return {};
    case kEventShowHideDial:
      if (high != 0) return {};
      if (low == 1) return DecideShowDial(dial);
      if (low == 2) return DecideHideDial(dial);
      return {};
    case kEventGesture:
      return GestureEvent(low, config, dial);
    case kEventPreview:
      return PreviewEvent(low, dial);
    default:
      return {effect::TraceText(u"Device event of an unknown class ignored\n")};
  }
}

Effects DecideDeviceSetting(std::uint32_t eventClass, std::uint32_t value, ConfigBlock& config) {
  ProfileRecord& slot = ActiveSlot(config);
  const std::uint32_t low = value & 0xFFu;
  const std::uint32_t high = value >> 8;
  const Effect save = effect::Simple(EffectKind::kSaveConfig);
  switch (eventClass) {
    case kEventSlotSwitch: {
      if (value >= 1 && value <= static_cast<std::uint32_t>(kSlotCount)) {
        config.header.activeSlot = static_cast<std::int32_t>(value) - 1;
      } else if (value != kSlotSwitchRepublish) {
        return {save};
      }
      Effects effects = {effect::Simple(EffectKind::kPublishConfig)};
      for (Effect& e : ActiveSlotAnnouncement(ActiveSlotIndex(config.header))) {
        effects.push_back(std::move(e));
      }
      effects.push_back(save);
      return effects;
    }
    case kEventValue2000:
      if (low < 1 || low > 8) return {save};
      slot.eventValue2000 = static_cast<std::int32_t>(low) - 1;
      return ValueChanged();
    case kEventValue3000:
      slot.eventValue3000 = static_cast<std::int32_t>(low);
      return ValueChanged();
    case kEventValue9000:
      slot.eventValue9000 = static_cast<std::int32_t>(low);
      return ValueChanged();
    case kEventKeyText: {
      if (high != 0 || low >= static_cast<std::uint32_t>(kKeysPerProfile)) return {save};
      const KeyAssignment& key = slot.keys[low];
      if ((key.actionClass != 3 && key.actionClass != 8) || key.actionType != 2) return {save};
      return {effect::WriteOsdText(KeyLabelText(key)),
              effect::PostToOsd(MSG_OSD_SHOW, kOsdShowText, 0), save};
    }
    default:
      return {save};
  }
}

Effects DecideShowDial(DialState& dial) {
  dial.dialShown = 1;
  return {effect::Simple(EffectKind::kShowDial)};
}

Effects DecideHideDial(DialState& dial) {
  dial.dialShown = 0;
  return {effect::Simple(EffectKind::kHideDial)};
}

Effects DecideToggleDial(const ConfigBlock& config, DialState& dial) {
  dial.currentFunction = config.slots[ActiveSlotIndex(config.header)].selectedFunction;
  if (dial.dialShown == 1) {
    Effects effects = DecideHideDial(dial);
    effects.push_back(effect::SendHostState(false));
    return effects;
  }
  Effects effects = DecideShowDial(dial);
  // The function shown may have changed while the dial was hidden.
  effects.push_back(effect::Simple(EffectKind::kInvalidateDial));
  effects.push_back(effect::SendHostState(true));
  return effects;
}

Effects DecideHideDialCommand(DialState& dial) {
  Effects effects = DecideHideDial(dial);
  effects.push_back(effect::SendHostState(false));
  return effects;
}

Effects DecideCommitDialFunction(int function, ConfigBlock& config, DialState& dial) {
  if (function < 1 || function > kFunctionCount) {
    return {effect::TraceText(u"Dial function out of range ignored\n")};
  }
  dial.previewMode = 0;
  dial.currentFunction = function;
  ActiveSlot(config).selectedFunction = static_cast<std::uint8_t>(function);
  // The report names the slot and function of this click, whenever it goes out.
  Effects effects = {effect::SendDialFunction(ActiveSlotIndex(config.header), function),
                     effect::Simple(EffectKind::kInvalidateDial)};
  for (Effect& e : SaveActiveProfileEffects()) effects.push_back(std::move(e));
  return effects;
}

std::u16string KeyLabelText(const KeyAssignment& key) {
  std::u16string text;
  for (std::size_t i = 0; i < std::size(key.label) && i < kMaxLabelCharacters; ++i) {
    if (key.label[i] == u'\0') break;
    text.push_back(key.label[i]);
  }
  return text;
}

}  // namespace torvo
