// A popup menu that draws its own items: a flat white menu with a blue
// selection bar, texts in a 15-pixel Arial font drawn by GDI+, an optional
// small "TM" mark behind a text, and separators as a thin coloured line. Its
// items in the platform menu carry no text; the texts live in `items`.
// The frame around the menu window is drawn by the menu window hook.
#pragma once

#include <windows.h>

#include "common/win32/dialog_framework_win32.h"
#include "menu/ex_menu_core.h"

namespace torvo::win32 {

class CExMenu : public CMenu, public ExMenuCore {
 public:
  // `font` is not owned; it is selected while a text is measured (may be null).
  explicit CExMenu(HFONT font);
  ~CExMenu() override;

  // Adds one owner-drawn item at the end of the menu: a plain command item
  // (ids 2001, 2002, ... in the order they are added) or, with a submenu,
  // an item opening that submenu. The flags are kept in the item's entry.
  BOOL AppendItem(const wchar_t* text, HMENU submenu, int markColorFlag, int trademarkFlag);

  void MeasureItem(MEASUREITEMSTRUCT* measure) override;
  void DrawItem(DRAWITEMSTRUCT* draw) override;

  HFONT font;
};

}  // namespace torvo::win32
