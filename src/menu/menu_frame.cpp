#include "menu/menu_frame.h"

namespace torvo {
namespace {
constexpr unsigned kMsgPaint = 0x000F;
constexpr unsigned kMsgShowWindow = 0x0018;
constexpr unsigned kMsgNcDestroy = 0x0082;
constexpr unsigned kMsgNcPaint = 0x0085;
constexpr unsigned kMsgPrint = 0x0317;
}  // namespace

bool IsFramingMoment(int code, unsigned message) {
  return code == 0 && (message == kMsgCreate || message == kMsgMenuSizeWindow);
}

bool IsPopupMenuClass(std::u16string_view className) {
  return className == kPopupMenuClassName;
}

bool ShouldFrameWindow(std::u16string_view className, bool hasOldProcProperty) {
  return IsPopupMenuClass(className) && !hasOldProcProperty;
}

FramedMenuAction ChooseFramedMenuAction(unsigned message, std::uintptr_t wParam, bool hasRecord) {
  if (!hasRecord) return FramedMenuAction::kPassOn;
  switch (message) {
    case kMsgNcPaint:
      return FramedMenuAction::kPaintFrameOnly;
    case kMsgPrint:
      return FramedMenuAction::kPassOnThenPaintFrame;
    case kMsgPaint:
      return FramedMenuAction::kPassOnThenRepaintFrame;
    case kMsgShowWindow:
      return wParam == 0 ? FramedMenuAction::kDetachThenPassOn : FramedMenuAction::kPassOn;
    case kMsgNcDestroy:
      return FramedMenuAction::kDetachThenPassOn;
    default:
      return FramedMenuAction::kPassOn;
  }
}

std::vector<FrameFill> FrameRings(int width, int height, const FrameColors& colors) {
  std::vector<FrameFill> fills;
  int left = 0;
  int top = 0;
  int right = width;
  int bottom = height;
  auto add = [&fills](int l, int t, int r, int b, ColorRef color) {
    if (l < r && t < b) fills.push_back({l, t, r, b, color});
  };
  for (const ColorRef color : colors) {
    if (left >= right || top >= bottom) break;    // nothing left inside
    add(left, top, right, top + 1, color);        // top row
    add(left, top, left + 1, bottom, color);      // left column
    add(right - 1, top, right, bottom, color);    // right column
    add(left, bottom - 1, right, bottom, color);  // bottom row
    ++left;
    ++top;
    --right;
    --bottom;
  }
  return fills;
}

}  // namespace torvo
