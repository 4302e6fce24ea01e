// The behaviour of the region-shaped windows, without a window: what a press,
// a release, a move and a paint do to `state`, `tracking` and `hot`, and which
// effects follow, in the order the window carries them out. A point is
// "inside" when the window's shape region holds it; a window without a shape
// region has no inside.
#pragma once

#include <array>
#include <vector>

namespace torvo {

// Hit test against the window's shape, in its client coordinates.
class ButtonRegion {
 public:
  virtual ~ButtonRegion() = default;
  virtual bool Contains(int x, int y) const = 0;
};

enum class ButtonEffect {
  kSetCapture,
  kReleaseCapture,
  kInvalidate,      // the whole window, with erase
  kPostHoverEnter,  // MSG_BUTTON_HOVER (1, notifyCode) posted to the parent
  kPostHoverLeave,  // MSG_BUTTON_HOVER (0, notifyCode) posted to the parent
  kDefault,         // the platform's default handling of the message
  kSendCommand,     // WM_COMMAND (control id, 0; the button's handle) sent to the parent
};
using ButtonEffects = std::vector<ButtonEffect>;

enum ButtonStateValue : int {
  kStateNormal = 0,
  kStateOver = 1,
  kStateDown = 2,
  kStateDisabled = 3
};
// The four state images, in the order of the state values.
using StateImages = std::array<bool, 4>;

// What the window finds out about its surroundings when the pointer moves.
struct MoveContext {
  bool leftButtonDown = false;      // MK_LBUTTON in the message's flags
  bool activeWindowExists = false;  // GetActiveWindow of the thread
  bool hasOwnerOrParent = false;
  bool captureHeldBySelf = false;  // GetCapture is this window
  enum class UnderPointer { kNone, kSelf, kOther } underPointer = UnderPointer::kNone;
};

// CRgnWnd: a shaped window that shows its down image while pressed with the
// pointer inside.
class RgnWndLogic {
 public:
  virtual ~RgnWndLogic() = default;
  void SetRegion(const ButtonRegion* region) { region_ = region; }
  bool Inside(int x, int y) const { return region_ != nullptr && region_->Contains(x, y); }

  virtual ButtonEffects OnLButtonDown(int x, int y);
  virtual ButtonEffects OnLButtonUp(int x, int y, bool hasParent);
  virtual ButtonEffects OnMouseMove(int x, int y, const MoveContext& context);
  // The state image to paint (kStateNormal..kStateDisabled), or -1 for none.
  virtual int OnPaint(bool enabled, const StateImages& images);
  // lParam of the hover messages (only buttons post them).
  virtual int HoverNotifyCode() const { return 0; }

  int tracking = 0;
  int hot = 0;

 protected:
  // While tracking, `hot` follows the pointer; invalidates when it changed.
  void FollowPointer(int x, int y, ButtonEffects& effects);

 private:
  const ButtonRegion* region_ = nullptr;
};

// CRgnButton: a push button with normal, over, down and disabled looks.
class RgnButtonLogic final : public RgnWndLogic {
 public:
  static constexpr int kDefaultNotifyCode = 342;

  ButtonEffects OnLButtonDown(int x, int y) override;
  ButtonEffects OnLButtonUp(int x, int y, bool hasParent) override;
  ButtonEffects OnMouseMove(int x, int y, const MoveContext& context) override;
  int OnPaint(bool enabled, const StateImages& images) override;
  int HoverNotifyCode() const override { return notifyCode; }

  int state = kStateNormal;
  int notifyCode = kDefaultNotifyCode;
};

// The image for `state` (any value other than 1, 2, 3 is normal), or the
// normal image when that state has none, or -1 when that is missing too.
int StateImageFor(int state, const StateImages& images);

}  // namespace torvo
