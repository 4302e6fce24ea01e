#include "menu/win32/ex_menu_win32.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cwchar>
#include <optional>

#include "common/win32/gdi_win32.h"
#include "common/win32/text_win32.h"

namespace torvo::win32 {
namespace {

void DrawSeparatorLine(HDC dc, const ItemPaintPlan& plan) {
  HPEN pen = CreatePen(PS_SOLID, 1, plan.lineColor);
  if (pen == nullptr) return;
  HGDIOBJ previous = SelectObject(dc, pen);
  MoveToEx(dc, plan.rect.left, plan.lineY, nullptr);
  LineTo(dc, plan.rect.right, plan.lineY);
  SelectObject(dc, previous);
  DeleteObject(pen);
}

// The item's text with GDI+: Arial 15 px, one line, centred vertically, cut
// at a word with an ellipsis when it is wider than the item.
void DrawItemText(HDC dc, const ItemPaintPlan& plan) {
  Gdiplus::Graphics graphics(dc);
  Gdiplus::FontFamily family(L"Arial");
  Gdiplus::Font textFont(&family, 15.0f, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
  Gdiplus::StringFormat format(0, LANG_NEUTRAL);
  format.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap);
  format.SetTrimming(Gdiplus::StringTrimmingEllipsisWord);
  format.SetAlignment(Gdiplus::StringAlignmentNear);
  format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
  graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintSystemDefault);
  Gdiplus::SolidBrush brush{Gdiplus::Color(static_cast<Gdiplus::ARGB>(plan.textArgb))};
  const Gdiplus::RectF layout(static_cast<Gdiplus::REAL>(plan.rect.left),
                              static_cast<Gdiplus::REAL>(plan.rect.top),
                              static_cast<Gdiplus::REAL>(plan.rect.right - plan.rect.left),
                              static_cast<Gdiplus::REAL>(plan.rect.bottom - plan.rect.top));
  graphics.DrawString(W(plan.text), -1, &textFont, layout, &format, &brush);
}

void DrawTrademark(HDC dc, const MarkOrigin& origin, COLORREF color) {
  HFONT markFont = CreateArialFont(8);
  HGDIOBJ previous = markFont != nullptr ? SelectObject(dc, markFont) : nullptr;
  SetTextColor(dc, color);
  TextOutW(dc, origin.x, origin.y, L"TM", 2);
  if (markFont != nullptr) {
    SelectObject(dc, previous);
    DeleteObject(markFont);
  }
}

}  // namespace

CExMenu::CExMenu(HFONT menuFont) : font(menuFont) {}

CExMenu::~CExMenu() = default;

BOOL CExMenu::AppendItem(const wchar_t* text, HMENU submenu, int markColorFlag, int trademarkFlag) {
  const std::optional<std::uintptr_t> submenuHandle =
      submenu != nullptr ? std::optional<std::uintptr_t>(reinterpret_cast<std::uintptr_t>(submenu))
                         : std::nullopt;
  const std::uint32_t id = NextItemId(submenuHandle);
  const UINT flags = submenu != nullptr ? (MF_OWNERDRAW | MF_POPUP) : MF_OWNERDRAW;
  const UINT_PTR platformId =
      submenu != nullptr ? reinterpret_cast<UINT_PTR>(submenu) : static_cast<UINT_PTR>(id);
  const BOOL appended = AppendMenuW(GetSafeHmenu(), flags, platformId, nullptr);
  RecordItem(U16(text), id, markColorFlag, trademarkFlag);
  return appended;
}

void CExMenu::MeasureItem(MEASUREITEMSTRUCT* measure) {
  if (measure == nullptr) return;
  const ItemSize size = ExMenuCore::MeasureItem(measure->itemID);
  measure->itemWidth = static_cast<UINT>(size.width < 0 ? 0 : size.width);
  measure->itemHeight = static_cast<UINT>(size.height < 0 ? 0 : size.height);
}

void CExMenu::DrawItem(DRAWITEMSTRUCT* draw) {
  if (draw == nullptr || draw->hDC == nullptr) return;
  HDC dc = draw->hDC;
  const RECT received = draw->rcItem;
  const ItemRect itemRect{received.left, received.top, received.right, received.bottom};
  const ItemPaintPlan plan =
      PlanItem(draw->itemID, (draw->itemState & ODS_SELECTED) != 0, itemRect);

  FillSolid(dc, received, plan.fillColor);
  if (plan.separator) {
    DrawSeparatorLine(dc, plan);
  } else {
    SetBkMode(dc, TRANSPARENT);
    const COLORREF previousText = GetTextColor(dc);
    SetTextColor(dc, plan.markColor);
    HGDIOBJ previousFont = font != nullptr ? SelectObject(dc, font) : nullptr;
    DrawItemText(dc, plan);
    // The mark follows the measured text, 2 pixels after the left edge.
    const wchar_t* text = W(plan.text);
    SIZE extent{};
    GetTextExtentPoint32W(dc, text, static_cast<int>(std::wcslen(text)), &extent);
    SetTextColor(dc, previousText);
    if (font != nullptr) SelectObject(dc, previousFont);
    if (plan.drawMark) {
      DrawTrademark(dc, MarkOriginFor(itemRect, extent.cx, extent.cy), plan.markColor);
      SetTextColor(dc, previousText);
    }
  }
  ExcludeClipRect(dc, received.left, received.top, received.right, received.bottom);
}

}  // namespace torvo::win32
