// The menu shell inside this test process: the tray menu's entries, the
// frame hook's records and rings, and owner-drawn items routed to their menu
// object, read from the menu while it is being tracked.
#include <gtest/gtest.h>

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <functional>
#include <vector>

#include "common/win32/dialog_framework_win32.h"
#include "common/win32/shell_values_win32.h"
#include "app/win32/tray_win32.h"
#include "harness.h"
#include "menu/win32/ex_menu_win32.h"
#include "menu/win32/menu_hook_win32.h"
#include "menu_support.h"

namespace torvo::testing {
namespace {

using win32::CExMenu;
using win32::CMenu;
using win32::CMenuWndHook;

// A window of this thread that owns the menus. While a menu is tracked, its
// timer runs the next step of `steps` with the menu window; each step says
// whether it is done (the last step ends the menu).
class MenuOwner {
 public:
  MenuOwner() {
    static const wchar_t kClass[] = L"TorvoTestMenuOwner";
    WNDCLASSW wc{};
    wc.lpfnWndProc = &MenuOwner::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    RegisterClassW(&wc);
    hwnd_ = CreateWindowExW(0, kClass, L"menu owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                            GetModuleHandleW(nullptr), this);
  }
  ~MenuOwner() { DestroyWindow(hwnd_); }
  HWND Handle() const { return hwnd_; }

  // Runs `show` (which tracks a menu and returns when it closed) with the
  // steps applied to the menu window while it shows.
  // With `endMenu` false the last step closes the menu itself.
  void Track(const std::function<void()>& show, std::vector<std::function<bool(HWND)>> steps,
             bool endMenu = true) {
    steps_ = std::move(steps);
    endMenu_ = endMenu;
    next_ = 0;
    SetTimer(hwnd_, 1, 50, nullptr);
    show();
    KillTimer(hwnd_, 1);
  }
  bool AllStepsRan() const { return next_ == steps_.size(); }
  std::vector<UINT> commands;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      SetWindowLongPtrW(
          hwnd, GWLP_USERDATA,
          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    }
    auto* self = reinterpret_cast<MenuOwner*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (CMenu::RouteOwnerDraw(message, wParam, lParam)) return TRUE;
    if (message == WM_COMMAND) self->commands.push_back(LOWORD(wParam));
    if (message == WM_TIMER && wParam == 1) {
      HWND menu = VisibleMenuWindowOf(GetCurrentProcessId());
      if (menu != nullptr && self->next_ < self->steps_.size() && self->steps_[self->next_](menu)) {
        ++self->next_;
      }
      if (self->next_ >= self->steps_.size() && self->endMenu_) EndMenu();
      return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }

  HWND hwnd_ = nullptr;
  std::vector<std::function<bool(HWND)>> steps_;
  std::size_t next_ = 0;
  bool endMenu_ = true;
};

class MenuShellTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    win32::InstallMenuHook(GetModuleHandleW(nullptr));
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&gdiplusToken_, &input, nullptr);
  }
  static void TearDownTestSuite() { Gdiplus::GdiplusShutdown(gdiplusToken_); }

  static RECT WindowRect(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
  }

  static ULONG_PTR gdiplusToken_;
  MenuOwner owner;
};
ULONG_PTR MenuShellTest::gdiplusToken_ = 0;

TEST_F(MenuShellTest, TrayMenuHasItsThreeEntriesAndIsFramedOnlyWhileShown) {
  HWND framed = nullptr;
  int count = -1;
  UINT ids[3] = {};
  UINT separatorType = 0;
  UINT defaultItem = 0;
  owner.Track([&] { win32::TrackTrayMenu(owner.Handle()); },
              {[&](HWND menuWindow) {
                 framed = menuWindow;
                 HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
                 count = GetMenuItemCount(menu);
                 for (int i = 0; i < 3; ++i) ids[i] = GetMenuItemID(menu, i);
                 MENUITEMINFOW info{};
                 info.cbSize = sizeof(info);
                 info.fMask = MIIM_FTYPE;
                 GetMenuItemInfoW(menu, 1, TRUE, &info);
                 separatorType = info.fType;
                 defaultItem = GetMenuDefaultItem(menu, FALSE, 0);
                 EXPECT_NE(GetPropW(menuWindow, L"CoolMenu_oldProc"), nullptr);
                 EXPECT_NE(CMenuWndHook::recordMap.Find(menuWindow), nullptr);
                 EXPECT_EQ(GetWindowLongPtrW(menuWindow, GWLP_WNDPROC),
                           reinterpret_cast<LONG_PTR>(&CMenuWndHook::FramedMenuProc));
                 return true;
               },
               [&](HWND menuWindow) {
                 // Hidden: its own procedure is back before that procedure
                 // sees the hide.
                 ShowWindow(menuWindow, SW_HIDE);
                 EXPECT_TRUE(IsWindow(menuWindow));
                 EXPECT_EQ(GetPropW(menuWindow, L"CoolMenu_oldProc"), nullptr);
                 EXPECT_NE(GetWindowLongPtrW(menuWindow, GWLP_WNDPROC),
                           reinterpret_cast<LONG_PTR>(&CMenuWndHook::FramedMenuProc));
                 EXPECT_EQ(CMenuWndHook::recordMap.Find(menuWindow), nullptr);
                 return true;
               }});
  ASSERT_TRUE(owner.AllStepsRan());
  EXPECT_EQ(count, 3);
  EXPECT_EQ(ids[0], 6001u);
  EXPECT_NE(separatorType & MFT_SEPARATOR, 0u);
  EXPECT_EQ(ids[2], 6002u);
  EXPECT_EQ(defaultItem, 6001u);
  EXPECT_TRUE(owner.commands.empty());
  // Hidden or destroyed: unframed, with its own procedure back.
  EXPECT_EQ(CMenuWndHook::recordMap.Find(framed), nullptr);
  EXPECT_EQ(CMenuWndHook::recordMap.Size(), 0u);
  if (IsWindow(framed)) {
    EXPECT_EQ(GetPropW(framed, L"CoolMenu_oldProc"), nullptr);
    EXPECT_NE(GetWindowLongPtrW(framed, GWLP_WNDPROC),
              reinterpret_cast<LONG_PTR>(&CMenuWndHook::FramedMenuProc));
  }
}

TEST_F(MenuShellTest, RingsAreDrawnOuterFirstInTheCurrentFrameColours) {
  const FrameColors saved = CMenuWndHook::frameColors;
  CMenuWndHook::frameColors = {0x000000FF, 0x0000FF00, 0x00FF0000};
  COLORREF rings[3] = {};
  COLORREF farCorner = 0;
  owner.Track([&] { win32::TrackTrayMenu(owner.Handle()); }, {[&](HWND menuWindow) {
                const RECT rect = WindowRect(menuWindow);
                if (ScreenPixel(rect.left, rect.top) != 0x000000FF)
                  return false;  // not painted yet
                for (int i = 0; i < 3; ++i) rings[i] = ScreenPixel(rect.left + i, rect.top + i);
                farCorner = ScreenPixel(rect.right - 3, rect.bottom - 3);
                return true;
              }});
  CMenuWndHook::frameColors = saved;
  ASSERT_TRUE(owner.AllStepsRan());
  EXPECT_EQ(rings[0], 0x000000FFu);
  EXPECT_EQ(rings[1], 0x0000FF00u);
  EXPECT_EQ(rings[2], 0x00FF0000u);
  EXPECT_EQ(farCorner, 0x00FF0000u);
}

TEST_F(MenuShellTest, OwnerDrawnItemsKeepTheirOwnIdsAndAreDrawnByTheirMenu) {
  CExMenu menu(nullptr);
  ASSERT_TRUE(menu.Attach(CreatePopupMenu()));
  menu.AppendItem(L"Alpha", nullptr, -1, 0);
  menu.AppendItem(L"Beta", nullptr, 1, 1);
  EXPECT_EQ(GetMenuItemID(menu.GetSafeHmenu(), 0), 2001u);
  EXPECT_EQ(GetMenuItemID(menu.GetSafeHmenu(), 1), 2002u);
  EXPECT_EQ(menu.itemWidth, 40);
  EXPECT_EQ(CMenu::FromHandlePermanent(menu.GetSafeHmenu()), &menu);

  // Right of the texts, in the middle of the first and the second item.
  auto itemPixel = [](HWND menuWindow, int item) {
    const RECT rect = WindowRect(menuWindow);
    return ScreenPixel(rect.right - 5, rect.top + 3 + 20 * item + 10);
  };
  COLORREF firstUnselected = 0;
  owner.Track(
      [&] {
        TrackPopupMenu(menu.GetSafeHmenu(), TPM_RIGHTBUTTON, 300, 300, 0, owner.Handle(), nullptr);
      },
      {[&](HWND menuWindow) {
         const RECT rect = WindowRect(menuWindow);
         EXPECT_EQ(rect.bottom - rect.top, 2 * 20 + 6);
         firstUnselected = itemPixel(menuWindow, 0);
         PostKey(menuWindow, VK_DOWN);
         return true;
       },
       [&](HWND menuWindow) { return itemPixel(menuWindow, 0) == 0x00CC7A00; },
       [&](HWND menuWindow) {
         EXPECT_EQ(itemPixel(menuWindow, 1), 0x00FFFFFFu);
         PostKey(menuWindow, VK_DOWN);
         return true;
       },
       [&](HWND menuWindow) { return itemPixel(menuWindow, 1) == 0x00CC7A00; },
       [&](HWND menuWindow) {
         EXPECT_EQ(itemPixel(menuWindow, 0), 0x00FFFFFFu);
         PostKey(menuWindow, VK_RETURN);
         return true;
       }},
      false);
  ASSERT_TRUE(owner.AllStepsRan());
  EXPECT_EQ(firstUnselected, 0x00FFFFFFu);
  // The second item's own command.
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  EXPECT_EQ(owner.commands, std::vector<UINT>{2002u});
  EXPECT_TRUE(menu.DestroyMenu());
  EXPECT_EQ(menu.GetSafeHmenu(), nullptr);
}

}  // namespace
}  // namespace torvo::testing
