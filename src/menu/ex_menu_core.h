// The decisions of the owner-drawn popup menu: the ids its items hold, their
// sizes, and what painting one item means, as a plan that the Win32 side
// carries out with GDI and GDI+.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/messages.h"
#include "menu/menu_item_list.h"

namespace torvo {

// Colours are 0x00BBGGRR, as the platform's COLORREF.
using ColorRef = std::uint32_t;

inline constexpr ColorRef kMenuWhite = 0x00FFFFFF;
inline constexpr ColorRef kMenuBlue = 0x00CC7A00;       // red 0, green 122, blue 204
inline constexpr ColorRef kMarkLightBlue = 0x00FFBF44;  // red 68, green 191, blue 255
inline constexpr std::uint32_t kSeparatorItemId = 0;
inline constexpr std::uint32_t kHiddenItemId = 1;
// Each code unit of an item's text asks for this many pixels of width.
inline constexpr int kWidthPerCodeUnit = 8;

struct ItemRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const ItemRect&) const = default;
};

struct ItemSize {
  int width = 0;
  int height = 0;
  bool operator==(const ItemSize&) const = default;
};

// Opaque GDI+ colour (0xAARRGGBB) of a COLORREF.
constexpr std::uint32_t ArgbOf(ColorRef color) {
  const std::uint32_t red = color & 0xFFu;
  const std::uint32_t green = (color >> 8) & 0xFFu;
  const std::uint32_t blue = (color >> 16) & 0xFFu;
  return 0xFF000000u | red << 16 | green << 8 | blue;
}

// What painting one item means.
struct ItemPaintPlan {
  ItemRect rect;  // as received: filled, and excluded from clipping at the end
  ColorRef fillColor = kMenuWhite;
  bool separator = false;
  // Separator: a one-pixel line from (rect.left, lineY) to (rect.right, lineY),
  // the end point not painted.
  ColorRef lineColor = 0;
  int lineY = 0;
  // Any other item: the text drawn by GDI+ in the layout rectangle (the item
  // rectangle), vertically centred, cut at a word with an ellipsis.
  std::u16string text;
  std::uint32_t textArgb = 0xFF000000u;
  // The device context's text colour while the text is measured, and the
  // colour of the "TM" mark.
  ColorRef markColor = 0;
  bool drawMark = false;
};

// Where the "TM" mark goes: 2 pixels after the measured end of the text,
// vertically centred on the text's measured height.
struct MarkOrigin {
  int x = 0;
  int y = 0;
  bool operator==(const MarkOrigin&) const = default;
};
MarkOrigin MarkOriginFor(const ItemRect& rect, int textWidth, int textHeight);

class ExMenuCore {
 public:
  ExMenuCore() = default;
  virtual ~ExMenuCore() = default;
  ExMenuCore(const ExMenuCore&) = delete;
  ExMenuCore& operator=(const ExMenuCore&) = delete;

  // The id the next item takes in the platform menu: a plain item the next
  // command id (2001, 2002, ...); an item with a submenu the submenu's
  // handle as the platform reports it for that item (its low 32 bits).
  std::uint32_t NextItemId(std::optional<std::uintptr_t> submenu) const;
  // Records the item just appended with that id and widens the menu to
  // 8 pixels per code unit of its text.
  void RecordItem(std::u16string_view text, std::uint32_t id, std::int32_t markColorFlag,
                  std::int32_t trademarkFlag);

  ItemSize MeasureItem(std::uint32_t itemId) const;
  ItemPaintPlan PlanItem(std::uint32_t itemId, bool selected, const ItemRect& rect) const;

  int itemHeight = 18;
  ColorRef backColor = kMenuWhite;
  ColorRef selBackColor = kMenuBlue;
  ColorRef separatorColor = kMenuBlue;
  ColorRef textColor = 0x00000000;
  ColorRef selTextColor = 0x00000000;
  int itemWidth = 0;
  CMenuItemList items;

 private:
  std::uint32_t nextPlainId_ = ID_HIDE_DIAL_FIRST;
};

}  // namespace torvo
