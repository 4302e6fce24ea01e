// The tray icon, its menu, the menu frame and the dial's context menu, end to
// end: Torvo.exe with the virtual keyboard, driven through the messages the
// shell and the user's clicks would send.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "menu_support.h"
#include "torvo_fixture.h"

namespace torvo::testing {
namespace {

constexpr UINT kTrayNotify = 1036;
constexpr COLORREF kBlue = 0x00CC7A00;
constexpr COLORREF kWhite = 0x00FFFFFF;

class TrayMenuTest : public TorvoTest {
 protected:
  HWND WaitForMenu() {
    HWND menu = nullptr;
    WaitUntil([&] { return (menu = VisibleMenuWindowOf(torvo.ProcessId())) != nullptr; }, 10000);
    return menu;
  }

  // Waits until the menu window is hidden or gone.
  bool WaitForMenuClosed(HWND menu) {
    return WaitUntil([&] { return !IsWindow(menu) || !IsWindowVisible(menu); }, 10000);
  }

  // Waits until the menu's outer corner shows `color` (it is painted after it shows).
  bool WaitForCorner(HWND menu, COLORREF color) {
    return WaitUntil(
        [&] {
          RECT rect{};
          GetWindowRect(menu, &rect);
          return ScreenPixel(rect.left, rect.top) == color;
        },
        5000);
  }

  HWND OpenTrayMenu() {
    PostMessageW(torvo.MainWindow(), kTrayNotify, 102, WM_RBUTTONDOWN);
    return WaitForMenu();
  }

  HWND OpenDialMenuAt(int x, int y) {
    SetCursorPos(x, y);
    WaitUntil(
        [&] {
          POINT p{};
          GetCursorPos(&p);
          return p.x == x && p.y == y;
        },
        2000);
    PostMessageW(torvo.MainWindow(), WM_RBUTTONDOWN, 0, 0);
    return WaitForMenu();
  }
};

TEST_F(TrayMenuTest, IconExistsExactlyWhileTheDeviceIsPresent) {
  StartAndWaitForCreation();
  HWND main = torvo.MainWindow();
  ASSERT_TRUE(WaitUntil([&] { return TrayIconExists(main); }, 5000));
  ASSERT_TRUE(WaitForUploadEnd()) << keyboard.DumpReportLog(false);

  ASSERT_TRUE(keyboard.SetPlugged(false));
  EXPECT_TRUE(WaitUntil([&] { return !TrayIconExists(main); }, 5000));
  ASSERT_TRUE(keyboard.SetPlugged(true));
  // Back after the arrival pause.
  EXPECT_TRUE(WaitUntil([&] { return TrayIconExists(main); }, 15000));

  // The shell's taskbar re-created: the icon is added again.
  const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = main;
  data.uID = 102;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &data));
  PostMessageW(main, taskbarCreated, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return TrayIconExists(main); }, 5000));

  ExitBy(WM_COMMAND, 6002);
  EXPECT_FALSE(TrayIconExists(main));
}

TEST_F(TrayMenuTest, NoIconWithoutTheDeviceAndTaskbarCreatedAddsNone) {
  ASSERT_TRUE(keyboard.SetPlugged(false, false));
  StartAndWaitForCreation();
  HWND main = torvo.MainWindow();
  PostMessageW(main, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  PumpFor(300);
  EXPECT_FALSE(TrayIconExists(main));
}

TEST_F(TrayMenuTest, RightClickOpensTheFramedMenuAndExitEndsTheProgram) {
  StartAndWaitForCreation();
  HWND main = torvo.MainWindow();
  ASSERT_TRUE(WaitUntil([&] { return TrayIconExists(main); }, 5000));
  HWND menu = OpenTrayMenu();
  ASSERT_NE(menu, nullptr) << torvo.Traces();
  EXPECT_NE(GetPropW(menu, L"CoolMenu_oldProc"), nullptr);
  OfferScreenshot("tray_menu");

  // Closed without a choice: the frame's property goes with it.
  PostKey(menu, VK_ESCAPE);
  ASSERT_TRUE(WaitForMenuClosed(menu));
  EXPECT_TRUE(!IsWindow(menu) || GetPropW(menu, L"CoolMenu_oldProc") == nullptr);
  EXPECT_TRUE(torvo.Running());

  // The last item is "exit".
  menu = OpenTrayMenu();
  ASSERT_NE(menu, nullptr);
  PostKey(menu, VK_UP);
  PostKey(menu, VK_RETURN);
  ASSERT_TRUE(torvo.WaitForExit(kExitTimeoutMs)) << torvo.Traces();
  EXPECT_EQ(torvo.ExitCode(), 0u);
  EXPECT_FALSE(TrayIconExists(main));
}

TEST_F(TrayMenuTest, TheDefaultItemOpensTheConfigurator) {
  StartAndWaitForCreation();
  HWND menu = OpenTrayMenu();
  ASSERT_NE(menu, nullptr);
  PostKey(menu, VK_DOWN);
  PostKey(menu, VK_RETURN);
  EXPECT_TRUE(WaitUntil([&] { return folder.LaunchCount(L"Config.exe") == 1; }, 10000))
      << torvo.Traces();
}

TEST_F(TrayMenuTest, LeftClickStartsTheConfiguratorOnceFromTheProgramFolder) {
  StartAndWaitForCreation();
  PostMessageW(torvo.MainWindow(), kTrayNotify, 102, WM_LBUTTONDOWN);
  ASSERT_TRUE(WaitUntil([&] { return folder.LaunchCount(L"Config.exe") == 1; }, 10000))
      << torvo.Traces();
  PumpFor(500);
  EXPECT_EQ(folder.LaunchCount(L"Config.exe"), 1);
  const std::string traces = torvo.Traces();
  EXPECT_NE(traces.find("CMonitorWnd OnCustomizer\n"), std::string::npos);
  EXPECT_NE(traces.find("CMonitorWnd OnCustomizer hWnd==NULL\n"), std::string::npos);
  EXPECT_EQ(traces.find("CMonitorWnd OnCustomizer hWnd!=NULL\n"), std::string::npos);
}

TEST_F(TrayMenuTest, LeftClickRestoresAMinimisedConfiguratorAndStartsNothing) {
  PeerWindow configurator(L"Vistrane");
  SetWindowLongPtrW(configurator.Handle(), GWL_STYLE,
                    GetWindowLongPtrW(configurator.Handle(), GWL_STYLE) | WS_OVERLAPPEDWINDOW);
  ShowWindow(configurator.Handle(), SW_SHOWMINIMIZED);
  ASSERT_TRUE(IsIconic(configurator.Handle()));
  StartAndWaitForCreation();
  PostMessageW(torvo.MainWindow(), kTrayNotify, 102, WM_LBUTTONDOWN);
  EXPECT_TRUE(WaitUntil([&] { return !IsIconic(configurator.Handle()); }, 10000)) << torvo.Traces();
  EXPECT_TRUE(torvo.WaitForTrace("CMonitorWnd OnCustomizer hWnd!=NULL\n", 5000));
  EXPECT_EQ(folder.LaunchCount(L"Config.exe"), 0);
}

TEST_F(TrayMenuTest, OtherMouseMessagesChangeNothing) {
  StartAndWaitForCreation();
  for (const LPARAM message : {WM_MOUSEMOVE, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONUP,
                               WM_RBUTTONDBLCLK, WM_MBUTTONDOWN}) {
    PostMessageW(torvo.MainWindow(), kTrayNotify, 102, message);
  }
  PumpFor(500);
  EXPECT_EQ(VisibleMenuWindowOf(torvo.ProcessId()), nullptr);
  EXPECT_EQ(folder.LaunchCount(L"Config.exe"), 0);
  EXPECT_EQ(torvo.Traces().find("OnCustomizer"), std::string::npos);
}

TEST_F(TrayMenuTest, DialMenuOpensAtThePointerAndTurnsEveryFrameBlue) {
  StartAndWaitForCreation();
  HWND menu = OpenDialMenuAt(400, 300);
  ASSERT_NE(menu, nullptr) << torvo.Traces();
  RECT rect{};
  GetWindowRect(menu, &rect);
  EXPECT_EQ(rect.left, 400);
  EXPECT_EQ(rect.top, 300);
  EXPECT_NE(GetPropW(menu, L"CoolMenu_oldProc"), nullptr);
  EXPECT_TRUE(WaitForCorner(menu, kBlue));
  // One item inside the three rings: 20 high, 30 wide plus the check-mark
  // room the platform adds to every owner-drawn menu item.
  const int innerWidth = rect.right - rect.left - 6;
  EXPECT_EQ(rect.bottom - rect.top - 6, 20);
  EXPECT_GE(innerWidth, 30);
  EXPECT_LE(innerWidth, 30 + 2 * GetSystemMetrics(SM_CXMENUCHECK));
  EXPECT_EQ(ScreenPixel(rect.left + 1, rect.top + 1), kWhite);
  EXPECT_EQ(ScreenPixel(rect.left + 2, rect.top + 2), kWhite);
  EXPECT_EQ(ScreenPixel(rect.right - 1, rect.bottom - 1), kBlue);
  // String 1042's text is drawn in the item.
  const RECT item{rect.left + 3, rect.top + 3, rect.right - 3, rect.bottom - 3};
  EXPECT_TRUE(WaitUntil([&] { return DarkPixelsIn(item) > 10; }, 5000));
  OfferScreenshot("dial_menu");
  PostKey(menu, VK_ESCAPE);
  ASSERT_TRUE(WaitForMenuClosed(menu));

  // Every later menu has the blue and white frame, the tray menu included.
  HWND tray = OpenTrayMenu();
  ASSERT_NE(tray, nullptr);
  EXPECT_TRUE(WaitForCorner(tray, kBlue));
  RECT trayRect{};
  GetWindowRect(tray, &trayRect);
  EXPECT_EQ(ScreenPixel(trayRect.left + 1, trayRect.top + 1), kWhite);
  EXPECT_EQ(ScreenPixel(trayRect.left + 2, trayRect.top + 2), kWhite);
  OfferScreenshot("tray_menu_after_dial_menu");
  PostKey(tray, VK_ESCAPE);
  ASSERT_TRUE(WaitForMenuClosed(tray));
}

TEST_F(TrayMenuTest, ChoosingTheDialMenuItemHidesTheDialAndReportsTheHostState) {
  StartAndWaitForCreation();
  HWND main = torvo.MainWindow();
  // Let the start-up upload finish, so that its own host-state report is in.
  ASSERT_TRUE(WaitUntil([&] { return keyboard.Model().hostStateReports >= 1; }, 15000));
  ASSERT_TRUE(keyboard.SendInputEvent(0x5000, 1));  // the device shows the dial
  if (!WaitUntil([&] { return IsWindowVisible(main) != FALSE; }, 5000)) {
    GTEST_SKIP() << "this build does not show the dial yet";
  }
  const std::uint32_t reportsBefore = keyboard.Model().hostStateReports;
  RECT dial{};
  GetWindowRect(main, &dial);
  HWND menu = OpenDialMenuAt(dial.left + 20, dial.top + 20);
  ASSERT_NE(menu, nullptr);
  PostKey(menu, VK_DOWN);
  PostKey(menu, VK_RETURN);
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(main) == FALSE; }, 5000));
  EXPECT_TRUE(WaitUntil(
      [&] {
        const auto model = keyboard.Model();
        return model.hostStateReports > reportsBefore && model.hostActive == 1 &&
               model.hostDialShown == 0;
      },
      5000))
      << keyboard.DumpReportLog(false);
}

TEST_F(TrayMenuTest, MissingLanguageLibraryLeavesEmptyTextsAndWorkingMenus) {
  folder.Remove(L"lan.dll");
  StartAndWaitForCreation();
  ASSERT_TRUE(WaitUntil([&] { return TrayIconExists(torvo.MainWindow()); }, 5000));
  HWND dial = OpenDialMenuAt(200, 200);
  ASSERT_NE(dial, nullptr);
  // An empty item, still framed.
  ASSERT_TRUE(WaitForCorner(dial, kBlue));
  RECT rect{};
  GetWindowRect(dial, &rect);
  EXPECT_EQ(DarkPixelsIn({rect.left + 3, rect.top + 3, rect.right - 3, rect.bottom - 3}), 0);
  PostKey(dial, VK_ESCAPE);
  ASSERT_TRUE(WaitForMenuClosed(dial));
  HWND menu = OpenTrayMenu();
  ASSERT_NE(menu, nullptr);
  PostKey(menu, VK_UP);
  PostKey(menu, VK_RETURN);
  EXPECT_TRUE(torvo.WaitForExit(kExitTimeoutMs));
}

TEST_F(TrayMenuTest, NoGdiObjectsLeakOverManyMenusAndIconAdds) {
  StartAndWaitForCreation();
  HWND main = torvo.MainWindow();
  ASSERT_TRUE(WaitUntil([&] { return TrayIconExists(main); }, 5000));
  const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
  auto round = [&] {
    for (int i = 0; i < 3; ++i) {
      HWND dial = OpenDialMenuAt(300 + i, 300);
      if (dial == nullptr) return false;
      PostKey(dial, VK_ESCAPE);
      if (!WaitForMenuClosed(dial)) return false;
      HWND tray = OpenTrayMenu();
      if (tray == nullptr) return false;
      PostKey(tray, VK_ESCAPE);
      if (!WaitForMenuClosed(tray)) return false;
      PostMessageW(main, taskbarCreated, 0, 0);
    }
    return true;
  };
  ASSERT_TRUE(round());  // caches of the first menus settle
  PumpFor(200);
  const long before = GdiObjectCount(torvo.ProcessHandle());
  ASSERT_GT(before, 0);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(round());
  PumpFor(200);
  const long after = GdiObjectCount(torvo.ProcessHandle());
  std::printf("GDI objects: %ld before, %ld after 15 dial menus, 15 tray menus, 15 re-adds\n",
              before, after);
  EXPECT_LE(after, before + 2);
}

}  // namespace
}  // namespace torvo::testing
