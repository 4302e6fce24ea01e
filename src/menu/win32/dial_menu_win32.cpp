#include "menu/win32/dial_menu_win32.h"

#include "common/win32/gdi_win32.h"
#include "common/win32/language_win32.h"
#include "menu/menu_frame.h"
#include "menu/win32/ex_menu_win32.h"
#include "menu/win32/menu_hook_win32.h"

namespace torvo::win32 {
namespace {
constexpr int kDialMenuItemWidth = 30;
}  // namespace

void ShowDialContextMenu(HWND owner) {
  POINT pointer{};
  GetCursorPos(&pointer);
  HFONT font = CreateArialFont(15);
  {
    CExMenu menu(font);
    menu.Attach(CreatePopupMenu());
    CMenuWndHook::frameColors = kDialMenuFrameColors;
    const std::wstring text = LanguageText(kHideDialTextId);
    menu.AppendItem(text.c_str(), nullptr, -1, 0);
    // Narrower than the text asks for: the text ends in an ellipsis.
    menu.itemWidth = kDialMenuItemWidth;
    if (menu.GetSafeHmenu() != nullptr) {
      TrackPopupMenu(menu.GetSafeHmenu(), TPM_RIGHTBUTTON, pointer.x, pointer.y, 0, owner, nullptr);
    }
    PostMessageW(owner, WM_NULL, 0, 0);
    menu.DestroyMenu();
  }
  if (font != nullptr) DeleteObject(font);
}

}  // namespace torvo::win32
