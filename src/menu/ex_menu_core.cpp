#include "menu/ex_menu_core.h"

#include <climits>

namespace torvo {

MarkOrigin MarkOriginFor(const ItemRect& rect, int textWidth, int textHeight) {
  // The text starts at the item's left edge; the mark keeps a 2-pixel gap.
  const int left = rect.left + 2;
  return {left + textWidth, rect.top + (rect.bottom - rect.top) / 2 - textHeight / 2};
}

std::uint32_t ExMenuCore::NextItemId(std::optional<std::uintptr_t> submenu) const {
  if (submenu.has_value()) return static_cast<std::uint32_t>(*submenu);
  return nextPlainId_;
}

void ExMenuCore::RecordItem(std::u16string_view text, std::uint32_t id, std::int32_t markColorFlag,
                            std::int32_t trademarkFlag) {
  items.Add(text, id, markColorFlag, trademarkFlag);
  if (id == nextPlainId_) ++nextPlainId_;
  // A text too long for the width type asks for the widest menu.
  const long long wanted = static_cast<long long>(text.size()) * kWidthPerCodeUnit;
  const int width = wanted > INT_MAX ? INT_MAX : static_cast<int>(wanted);
  if (width > itemWidth) itemWidth = width;
}

ItemSize ExMenuCore::MeasureItem(std::uint32_t itemId) const {
  switch (itemId) {
    case kSeparatorItemId:
      return {itemWidth, 5};
    case kHiddenItemId:
      return {itemWidth, 0};
    default:
      return {itemWidth, itemHeight + 2};
  }
}

ItemPaintPlan ExMenuCore::PlanItem(std::uint32_t itemId, bool selected,
                                   const ItemRect& rect) const {
  ItemPaintPlan plan;
  plan.rect = rect;
  if (itemId == kSeparatorItemId) {
    // Whatever the item state.
    plan.separator = true;
    plan.fillColor = backColor;
    plan.lineColor = separatorColor;
    plan.lineY = rect.top + (rect.bottom - rect.top) / 2;
    return plan;
  }
  if (selected) {
    plan.fillColor = selBackColor;
    plan.textArgb = 0xFF000000u;
    plan.markColor = selTextColor;
  } else {
    plan.fillColor = backColor;
    plan.textArgb = ArgbOf(textColor);
    plan.markColor = textColor;
  }
  const MenuItemInfo info = items.Lookup(itemId);
  if (info.markColorFlag == 1) plan.markColor = kMarkLightBlue;
  plan.text.assign(info.text);
  plan.drawMark = info.trademarkFlag == 1;
  return plan;
}

}  // namespace torvo
