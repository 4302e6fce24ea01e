#include "dial/rgn_button.h"

namespace torvo {

int StateImageFor(int state, const StateImages& images) {
  const int wanted = (state == kStateOver || state == kStateDown || state == kStateDisabled)
                         ? state
                         : kStateNormal;
  if (images[static_cast<std::size_t>(wanted)]) return wanted;
  return images[kStateNormal] ? kStateNormal : -1;
}

void RgnWndLogic::FollowPointer(int x, int y, ButtonEffects& effects) {
  if (tracking == 0) return;
  const int nowHot = Inside(x, y) ? 1 : 0;
  if (nowHot != hot) {
    hot = nowHot;
    effects.push_back(ButtonEffect::kInvalidate);
  }
}

ButtonEffects RgnWndLogic::OnLButtonDown(int x, int y) {
  tracking = 1;
  hot = Inside(x, y) ? 1 : 0;
  return {ButtonEffect::kSetCapture, ButtonEffect::kInvalidate, ButtonEffect::kDefault};
}

ButtonEffects RgnWndLogic::OnLButtonUp(int, int, bool) {
  tracking = 0;
  hot = 0;
  return {ButtonEffect::kReleaseCapture, ButtonEffect::kInvalidate, ButtonEffect::kDefault};
}

ButtonEffects RgnWndLogic::OnMouseMove(int x, int y, const MoveContext&) {
  ButtonEffects effects;
  FollowPointer(x, y, effects);
  effects.push_back(ButtonEffect::kDefault);
  return effects;
}

int RgnWndLogic::OnPaint(bool, const StateImages& images) {
  return StateImageFor(hot != 0 ? kStateDown : kStateNormal, images);
}

ButtonEffects RgnButtonLogic::OnLButtonDown(int x, int y) {
  tracking = 1;
  if (Inside(x, y)) {
    state = kStateDown;
  } else {
    hot = 0;
  }
  return {ButtonEffect::kSetCapture, ButtonEffect::kInvalidate, ButtonEffect::kDefault};
}

ButtonEffects RgnButtonLogic::OnLButtonUp(int x, int y, bool hasParent) {
  tracking = 0;
  hot = 0;
  state = kStateNormal;
  ButtonEffects effects = {ButtonEffect::kPostHoverLeave, ButtonEffect::kReleaseCapture,
                           ButtonEffect::kInvalidate, ButtonEffect::kDefault};
  if (Inside(x, y) && hasParent) effects.push_back(ButtonEffect::kSendCommand);
  return effects;
}

ButtonEffects RgnButtonLogic::OnMouseMove(int x, int y, const MoveContext& context) {
  ButtonEffects effects;
  FollowPointer(x, y, effects);
  effects.push_back(ButtonEffect::kDefault);
  if (context.leftButtonDown) return effects;
  if (!context.captureHeldBySelf && context.activeWindowExists && context.hasOwnerOrParent) {
    // The pointer came onto the button: hold the capture to see it leave.
    state = kStateOver;
    effects.push_back(ButtonEffect::kPostHoverEnter);
    effects.push_back(ButtonEffect::kSetCapture);
    effects.push_back(ButtonEffect::kInvalidate);
    return effects;
  }
  if (context.underPointer != MoveContext::UnderPointer::kOther) return effects;
  state = kStateNormal;
  effects.push_back(ButtonEffect::kPostHoverLeave);
  effects.push_back(ButtonEffect::kInvalidate);
  effects.push_back(ButtonEffect::kReleaseCapture);
  return effects;
}

int RgnButtonLogic::OnPaint(bool enabled, const StateImages& images) {
  if (!enabled) {
    state = kStateDisabled;
  } else if (state == kStateDisabled) {
    state = kStateNormal;
  }
  return StateImageFor(state, images);
}

}  // namespace torvo
