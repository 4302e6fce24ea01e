// The dial's Win32 pieces in this process: mask regions from bitmaps,
// pictures and their cut-outs, a region button clicked in a test window, the
// skin read into a window, and the composed dial read back.
#include <gtest/gtest.h>

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <cstdlib>
#include <memory>
#include <vector>

#include "common/win32/text_win32.h"
#include "dial/win32/dial_view_win32.h"
#include "dial/win32/picture_win32.h"
#include "dial/win32/rgn_button_win32.h"
#include "dial_test_skin.h"
#include "menu_support.h"
#include "harness.h"

namespace torvo::win32 {
namespace {

using testing::TempSkinFolder;
using testing::TestSkin;

std::u16string U16Path(const std::wstring& path) {
  return std::u16string(path.begin(), path.end());
}

// A 32-bit bottom-up bitmap with the given pixels (0x00RRGGBB plus a fourth byte).
HBITMAP MakeSection(int width, int height, const std::function<std::uint32_t(int, int)>& pixel) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  auto* words = static_cast<std::uint32_t*>(bits);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) words[(height - 1 - y) * width + x] = pixel(x, y);
  }
  return bitmap;
}

std::vector<RECT> RegionRects(HRGN region) {
  const DWORD size = GetRegionData(region, 0, nullptr);
  std::vector<std::uint8_t> buffer(size);
  auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
  GetRegionData(region, size, data);
  const RECT* rects = reinterpret_cast<const RECT*>(data->Buffer);
  return std::vector<RECT>(rects, rects + data->rdh.nCount);
}

TEST(DialPictureTest, MaskRegionHoldsExactlyTheNonWhitePixels) {
  // White is (255, 255, 255) whatever the fourth byte; 254 is inside.
  HBITMAP mask = MakeSection(4, 2, [](int x, int y) -> std::uint32_t {
    if (y == 0) return x == 1 ? 0x00000000u : 0xFFFFFFFFu;
    return x == 2 ? 0x00FEFFFFu : 0x00FFFFFFu;
  });
  HRGN region = BitmapToRegion(mask);
  ASSERT_NE(region, nullptr);
  EXPECT_TRUE(PtInRegion(region, 1, 0));
  EXPECT_TRUE(PtInRegion(region, 2, 1));
  EXPECT_FALSE(PtInRegion(region, 0, 0));
  EXPECT_FALSE(PtInRegion(region, 2, 0));
  EXPECT_FALSE(PtInRegion(region, 1, 1));
  RECT box{};
  EXPECT_EQ(GetRgnBox(region, &box), COMPLEXREGION);
  DeleteObject(region);
  DeleteObject(mask);

  HBITMAP white = MakeSection(5, 5, [](int, int) { return 0x00FFFFFFu; });
  region = BitmapToRegion(white);
  ASSERT_NE(region, nullptr);
  EXPECT_EQ(GetRgnBox(region, &box), NULLREGION);
  DeleteObject(region);
  DeleteObject(white);
  EXPECT_EQ(BitmapToRegion(nullptr), nullptr);
}

TEST(DialPictureTest, NoisyMaskOfManyBatchesGivesTheUnionOfAllRuns) {
  // 4000 one-pixel runs and then some: several regions ORed together.
  HBITMAP mask = MakeSection(100, 90, [](int x, int y) -> std::uint32_t {
    return (x + y) % 2 == 0 ? 0x00000000u : 0x00FFFFFFu;
  });
  HRGN region = BitmapToRegion(mask);
  ASSERT_NE(region, nullptr);
  const std::vector<RECT> rects = RegionRects(region);
  EXPECT_EQ(rects.size(), 4500u);
  int wrong = 0;
  for (int y = 0; y < 90; ++y) {
    for (int x = 0; x < 100; ++x) {
      wrong += (PtInRegion(region, x, y) != FALSE) != ((x + y) % 2 == 0) ? 1 : 0;
    }
  }
  EXPECT_EQ(wrong, 0);
  DeleteObject(region);
  DeleteObject(mask);
}

TEST(DialPictureTest, PicturesLoadAndCutOutOrFailCleanly) {
  TempSkinFolder folder;
  ASSERT_TRUE(testing::WriteBmp(folder.Path() + L"p.bmp", 80, 60, [](int x, int y) {
    return static_cast<std::uint32_t>((x << 16) | (y << 8) | 0x33);
  }));
  GdiBitmap picture;
  int width = -1;
  int height = -1;
  ASSERT_TRUE(LoadPictureFile(U16Path(folder.Path() + L"p.bmp"), picture, width, height));
  EXPECT_EQ(width, 80);
  EXPECT_EQ(height, 60);

  HDC screen = GetDC(nullptr);
  GdiBitmap cut;
  CopyBitmapRect(screen, picture, cut, RECT{10, 20, 60, 50});
  ASSERT_TRUE(cut);
  BITMAP info{};
  GetObjectW(cut.Get(), sizeof(info), &info);
  EXPECT_EQ(info.bmWidth, 50);
  EXPECT_EQ(info.bmHeight, 30);
  HDC dc = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(dc, cut.Get());
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(10, 20, 0x33));
  EXPECT_EQ(GetPixel(dc, 49, 29), RGB(59, 49, 0x33));
  SelectObject(dc, old);
  DeleteDC(dc);

  // A rectangle many times the picture, starting off it: only the part on
  // the picture is copied, and it lands where the picture starts.
  EXPECT_EQ(CopyBitmapRect(screen, picture, cut, RECT{-30, -40, 8000, 9000}).x, 30);
  GetObjectW(cut.Get(), sizeof(info), &info);
  EXPECT_EQ(info.bmWidth, 80);
  EXPECT_EQ(info.bmHeight, 60);
  dc = CreateCompatibleDC(screen);
  old = SelectObject(dc, cut.Get());
  EXPECT_EQ(GetPixel(dc, 79, 59), RGB(79, 59, 0x33));
  SelectObject(dc, old);
  DeleteDC(dc);
  CopyBitmapRect(screen, picture, cut, RECT{80, 0, 5000, 60});
  EXPECT_FALSE(cut);
  CopyBitmapRect(screen, picture, cut, RECT{0, 0, 5, 5});
  ASSERT_TRUE(cut);

  // Missing, empty, undecodable, truncated and oversized files leave no
  // bitmap and no size. The oversized header claims 60000 x 60000 pixels.
  ASSERT_TRUE(testing::WriteText(folder.Path() + L"bad.bmp", "not a picture at all"));
  ASSERT_TRUE(testing::WriteText(folder.Path() + L"empty.bmp", ""));
  std::string bytes = testing::ReadWholeFile(folder.Path() + L"p.bmp");
  ASSERT_GT(bytes.size(), 1000u);
  ASSERT_TRUE(testing::WriteText(folder.Path() + L"short.bmp", bytes.substr(0, 1000)));
  ASSERT_TRUE(testing::WriteText(folder.Path() + L"huge.bmp", testing::HugeBmpHeader()));
  for (const wchar_t* name :
       {L"missing.bmp", L"bad.bmp", L"empty.bmp", L"", L"short.bmp", L"huge.bmp"}) {
    EXPECT_FALSE(LoadPictureFile(U16Path(folder.Path() + name), picture, width, height)) << name;
    EXPECT_FALSE(picture);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
  }
  // Cutting from nothing leaves the destination as it was.
  CopyBitmapRect(screen, picture, cut, RECT{0, 0, 5, 5});
  EXPECT_TRUE(cut);
  ReleaseDC(nullptr, screen);
}

// ---------------------------------------------------------------------------
// A parent window that records what its buttons tell it and paints a dial.

struct Recorded {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

class TestParent {
 public:
  explicit TestParent(DWORD exStyle = 0) {
    static bool registered = false;
    if (!registered) {
      WNDCLASSEXW wc{};
      wc.cbSize = sizeof(wc);
      wc.lpfnWndProc = &TestParent::Proc;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
      wc.lpszClassName = L"TorvoDialTestParent";
      registered = RegisterClassExW(&wc) != 0;
    }
    hwnd = CreateWindowExW(exStyle, L"TorvoDialTestParent", L"dial test", WS_POPUP, 0, 0, 185, 185,
                           nullptr, nullptr, GetModuleHandleW(nullptr), this);
  }
  ~TestParent() { DestroyWindow(hwnd); }

  HWND hwnd = nullptr;
  std::vector<Recorded> messages;
  CDialView* view = nullptr;
  int currentFunction = 0;
  int previewMode = 0;
  int paints = 0;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      SetWindowLongPtrW(
          hwnd, GWLP_USERDATA,
          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    }
    auto* self = reinterpret_cast<TestParent*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self != nullptr) {
      if (message == WM_COMMAND || message == MSG_BUTTON_HOVER) {
        self->messages.push_back({message, wParam, lParam});
        return 0;
      }
      if (message == WM_PAINT && self->view != nullptr) {
        ++self->paints;
        self->view->ComposeDial(hwnd, self->currentFunction, self->previewMode);
        return 0;
      }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
};

LPARAM Point(int x, int y) {
  return MAKELPARAM(x, y);
}

TEST(DialButtonTest, ClickInsideTheShapeCommandsTheParentBeforeTheHoverNotice) {
  TempSkinFolder folder;
  ASSERT_TRUE(TestSkin::Write(folder.Path()));
  TestParent parent;
  CRgnButton button;
  button.maskPath = U16Path(folder.Path() + L"updown_mask.bmp");
  ASSERT_TRUE(button.Create(CDialView::kButtonStyle, RECT{10, 10, 40, 40}, parent.hwnd, 0));
  HWND hwnd = button.GetSafeHwnd();
  EXPECT_TRUE(button.HasRegion());
  wchar_t className[64] = {};
  GetClassNameW(hwnd, className, 64);
  EXPECT_STREQ(className, L"Rgn Button");
  EXPECT_EQ(GetDlgCtrlID(hwnd), 0);
  // The window takes the mask's shape.
  HRGN shape = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetWindowRgn(hwnd, shape), COMPLEXREGION);
  EXPECT_TRUE(PtInRegion(shape, 15, 15));
  EXPECT_FALSE(PtInRegion(shape, 1, 1));
  DeleteObject(shape);

  SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, Point(15, 15));
  EXPECT_EQ(button.Button().state, kStateDown);
  EXPECT_EQ(GetCapture(), hwnd);
  SendMessageW(hwnd, WM_LBUTTONUP, 0, Point(15, 15));
  EXPECT_NE(GetCapture(), hwnd);
  testing::PumpFor(50);
  ASSERT_EQ(parent.messages.size(), 2u);
  EXPECT_EQ(parent.messages[0].message, static_cast<UINT>(WM_COMMAND));
  EXPECT_EQ(parent.messages[0].wParam, 0u);
  EXPECT_EQ(parent.messages[0].lParam, reinterpret_cast<LPARAM>(hwnd));
  EXPECT_EQ(parent.messages[1].message, MSG_BUTTON_HOVER);
  EXPECT_EQ(parent.messages[1].wParam, 0u);
  EXPECT_EQ(parent.messages[1].lParam, 342);

  // Press inside, release outside the shape (a corner of the square): no command.
  parent.messages.clear();
  SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, Point(15, 15));
  SendMessageW(hwnd, WM_LBUTTONUP, 0, Point(1, 1));
  // A double click presses again and commands again.
  SendMessageW(hwnd, WM_LBUTTONDBLCLK, MK_LBUTTON, Point(14, 16));
  SendMessageW(hwnd, WM_LBUTTONUP, 0, Point(14, 16));
  testing::PumpFor(50);
  int commands = 0;
  for (const Recorded& m : parent.messages) commands += m.message == WM_COMMAND ? 1 : 0;
  EXPECT_EQ(commands, 1);
}

LRESULT CALLBACK ForeignProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

ATOM WINAPI RegisterAllButRgnButton(const WNDCLASSEXW* wc) {
  return lstrcmpW(wc->lpszClassName, kRgnButtonClassName) == 0 ? 0 : RegisterClassExW(wc);
}

TEST(DialButtonTest, ButtonIsCreatedWhateverBecomesOfItsWindowClass) {
  TempSkinFolder folder;
  ASSERT_TRUE(TestSkin::Write(folder.Path()));
  HINSTANCE instance = GetModuleHandleW(nullptr);
  TestParent parent;
  // Presses and releases inside the shape; true when the parent was commanded.
  const auto clicks = [&](CRgnButton& button) {
    parent.messages.clear();
    SendMessageW(button.GetSafeHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, Point(15, 15));
    SendMessageW(button.GetSafeHwnd(), WM_LBUTTONUP, 0, Point(15, 15));
    return !parent.messages.empty() && parent.messages[0].message == WM_COMMAND &&
           parent.messages[0].lParam == reinterpret_cast<LPARAM>(button.GetSafeHwnd());
  };
  const auto className = [](HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return std::wstring(name);
  };
  // No window of the class is left by an earlier test, so it can go.
  UnregisterClassW(kRgnButtonClassName, instance);
  UnregisterClassW(kDefaultWindowClassName, instance);

  // A class of that name registered by someone else, with a procedure of
  // its own and without double clicks: the button still runs as a button.
  WNDCLASSEXW foreign{};
  foreign.cbSize = sizeof(foreign);
  foreign.lpfnWndProc = &ForeignProc;
  foreign.hInstance = instance;
  foreign.lpszClassName = kRgnButtonClassName;
  ASSERT_NE(RegisterClassExW(&foreign), 0);
  {
    CRgnButton button;
    button.maskPath = U16Path(folder.Path() + L"updown_mask.bmp");
    ASSERT_TRUE(button.Create(CDialView::kButtonStyle, RECT{10, 10, 40, 40}, parent.hwnd, 0));
    EXPECT_EQ(className(button.GetSafeHwnd()), kRgnButtonClassName);
    EXPECT_TRUE(button.HasRegion());
    EXPECT_TRUE(clicks(button));
  }
  ASSERT_NE(UnregisterClassW(kRgnButtonClassName, instance), 0);

  // The registration fails: the default class serves instead.
  CRgnWnd::registerClassEx = &RegisterAllButRgnButton;
  {
    CRgnButton button;
    button.maskPath = U16Path(folder.Path() + L"updown_mask.bmp");
    const bool created =
        button.Create(CDialView::kButtonStyle, RECT{10, 10, 40, 40}, parent.hwnd, 0);
    CRgnWnd::registerClassEx = &RegisterClassExW;
    ASSERT_TRUE(created);
    EXPECT_EQ(className(button.GetSafeHwnd()), kDefaultWindowClassName);
    EXPECT_TRUE(button.HasRegion());
    EXPECT_TRUE(clicks(button));
    SendMessageW(button.GetSafeHwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, Point(15, 15));
    EXPECT_EQ(button.Button().state, kStateDown);
  }
  CRgnWnd::registerClassEx = &RegisterClassExW;
}

TEST(DialButtonTest, ButtonWithoutMaskNeverCommands) {
  TestParent parent;
  CRgnButton button;
  button.maskPath = u"C:\\no such folder\\missing_mask.bmp";
  ASSERT_TRUE(button.Create(CDialView::kButtonStyle, RECT{0, 0, 30, 30}, parent.hwnd, 0));
  EXPECT_FALSE(button.HasRegion());
  SendMessageW(button.GetSafeHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, Point(15, 15));
  SendMessageW(button.GetSafeHwnd(), WM_LBUTTONUP, 0, Point(15, 15));
  testing::PumpFor(50);
  for (const Recorded& m : parent.messages) EXPECT_NE(m.message, static_cast<UINT>(WM_COMMAND));
}

TEST(DialButtonTest, RealClickGoesThroughTheShape) {
  TempSkinFolder folder;
  ASSERT_TRUE(TestSkin::Write(folder.Path()));
  TestParent parent;
  CRgnButton button;
  button.maskPath = U16Path(folder.Path() + L"page_mask.bmp");
  ASSERT_TRUE(button.Create(CDialView::kButtonStyle, RECT{50, 50, 80, 80}, parent.hwnd, 0));
  SetWindowPos(parent.hwnd, HWND_TOPMOST, 100, 100, 185, 185, SWP_SHOWWINDOW);
  SetForegroundWindow(parent.hwnd);
  testing::PumpFor(100);
  const auto click = [](int x, int y) {
    SetCursorPos(x, y);
    INPUT inputs[2] = {};
    inputs[0].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[1].type = INPUT_MOUSE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, inputs, sizeof(INPUT));
  };
  const auto commands = [&] {
    int n = 0;
    for (const Recorded& m : parent.messages) n += m.message == WM_COMMAND ? 1 : 0;
    return n;
  };
  // The square's corner lies outside the disc: the click reaches the parent.
  click(100 + 51, 100 + 51);
  testing::PumpFor(200);
  EXPECT_EQ(commands(), 0);
  click(100 + 65, 100 + 65);
  EXPECT_TRUE(testing::WaitUntil([&] { return commands() == 1; }, 3000));
  testing::PumpFor(100);
  EXPECT_EQ(commands(), 1);
}

// ---------------------------------------------------------------------------
// The skin in a window and the composed dial

// Composes into a 185 x 185 top-down section that holds `fill` in every
// pixel beforehand, and returns its pixels.
std::vector<std::uint32_t> ComposeWith(const CDialView& view, int function, int preview,
                                       bool* drawn = nullptr, std::uint32_t fill = 0) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = 185;
  info.bmiHeader.biHeight = -185;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP section = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, section);
  auto* words = static_cast<std::uint32_t*>(bits);
  std::fill(words, words + 185 * 185, fill);
  const bool ok = view.DrawDial(dc, function, preview);
  if (drawn != nullptr) *drawn = ok;
  GdiFlush();
  std::vector<std::uint32_t> pixels(words, words + 185 * 185);
  SelectObject(dc, old);
  DeleteObject(section);
  DeleteDC(dc);
  return pixels;
}

class DialViewTest : public ::testing::Test {
 protected:
  void LoadInto(TestParent& parent, const TestSkin::Options& options = {}) {
    ASSERT_TRUE(TestSkin::Write(folder.Path(), options));
    view.LoadSkin(parent.hwnd, U16Path(folder.Path()));
    view.InitialiseDial(parent.hwnd);
    parent.view = &view;
  }

  std::vector<std::uint32_t> Compose(int function, int preview, bool* drawn = nullptr) {
    return ComposeWith(view, function, preview, drawn);
  }

  static std::uint32_t At(const std::vector<std::uint32_t>& pixels, POINT p) {
    return pixels[static_cast<std::size_t>(p.y * 185 + p.x)];
  }

  TempSkinFolder folder;
  CDialView view;
};

TEST_F(DialViewTest, SkinSizesTheWindowAndPlacesTheButtons) {
  TestParent parent;
  ASSERT_TRUE(TestSkin::Write(folder.Path()));
  view.LoadSkin(parent.hwnd, U16Path(folder.Path()));
  RECT rect{};
  GetWindowRect(parent.hwnd, &rect);
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.top, 0);
  EXPECT_EQ(rect.right - rect.left, TestSkin::kDisableWidth);
  EXPECT_EQ(rect.bottom - rect.top, TestSkin::kDisableHeight);
  for (int i = 0; i < 8; ++i) {
    HWND button = view.Button(i).GetSafeHwnd();
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(GetParent(button), parent.hwnd);
    EXPECT_EQ(view.ButtonIndexForHandle(button), i);
    EXPECT_EQ(GetWindowLongW(button, GWL_STYLE) & 0x50010000, 0x50010000);
    EXPECT_TRUE(view.Button(i).HasRegion());
    RECT r{};
    GetWindowRect(button, &r);
    MapWindowPoints(nullptr, parent.hwnd, reinterpret_cast<POINT*>(&r), 2);
    const RECT expected = TestSkin::ButtonRect(i + 1);
    EXPECT_EQ(r.left, expected.left);
    EXPECT_EQ(r.top, expected.top);
    EXPECT_EQ(r.right, expected.right);
  }
  EXPECT_EQ(view.ButtonIndexForHandle(parent.hwnd), -1);
  EXPECT_EQ(view.ButtonIndexForHandle(nullptr), -1);
  EXPECT_EQ(*view.CentreImagePath(3), U16Path(folder.Path() + L"centre3.png"));
}

TEST_F(DialViewTest, EveryRectangleMakesAButtonCutToTheDialOrOfNoSize) {
  TestParent parent;
  ASSERT_TRUE(TestSkin::Write(folder.Path()));
  const std::wstring ini = folder.Path() + L"skin_scroll.ini";
  // 1: many times the dial from a negative origin, its mask 300 x 300 with
  // the disc where the sector is; 2: wholly off the dial; 3: no size;
  // 4: no numbers; 5: a hundred times the dial from its own corner, cut to
  // the dial's 185 x 185 and not to the 200 x 190 "Disable" picture.
  const POINT c1 = TestSkin::ButtonCentre(1);
  ASSERT_TRUE(testing::WriteBmp(folder.Path() + L"yinliang_mask.bmp", 300, 300, [c1](int x, int y) {
    return std::hypot(x - 100 - c1.x, y - 100 - c1.y) <= 12 ? 0xFF000000u : 0xFFFFFFFFu;
  }));
  WritePrivateProfileStringW(L"BUTTONPOS", L"1", L"v,-100,-100,3700,3700", ini.c_str());
  WritePrivateProfileStringW(L"BUTTONPOS", L"2", L"i,200,10,30,30", ini.c_str());
  WritePrivateProfileStringW(L"BUTTONPOS", L"3", L"u,50,60,0,30", ini.c_str());
  WritePrivateProfileStringW(L"BUTTONPOS", L"4", L"", ini.c_str());
  const RECT r5 = TestSkin::ButtonRect(5);
  const std::wstring far5 =
      L"b," + std::to_wstring(r5.left) + L"," + std::to_wstring(r5.top) + L",18500,18500";
  WritePrivateProfileStringW(L"BUTTONPOS", L"5", far5.c_str(), ini.c_str());
  view.LoadSkin(parent.hwnd, U16Path(folder.Path()));

  const auto windowRect = [&](int index) {
    RECT r{};
    GetWindowRect(view.Button(index).GetSafeHwnd(), &r);
    MapWindowPoints(nullptr, parent.hwnd, reinterpret_cast<POINT*>(&r), 2);
    return r;
  };
  for (int i = 0; i < 8; ++i) ASSERT_NE(view.Button(i).GetSafeHwnd(), nullptr) << i;
  const auto expectRect = [&](int index, RECT expected) {
    const RECT r = windowRect(index);
    EXPECT_TRUE(EqualRect(&r, &expected))
        << index << ": " << r.left << "," << r.top << "," << r.right << "," << r.bottom;
  };
  expectRect(0, {0, 0, 185, 185});
  expectRect(1, {185, 10, 185, 10});
  expectRect(2, {50, 60, 50, 60});
  expectRect(3, {0, 0, 0, 0});
  expectRect(4, {r5.left, r5.top, 185, 185});
  // The masks stay on their rectangles' corners.
  const auto commands = [&](int index, POINT inDial) {
    parent.messages.clear();
    HWND button = view.Button(index).GetSafeHwnd();
    const RECT w = windowRect(index);
    const LPARAM at = Point(inDial.x - w.left, inDial.y - w.top);
    SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(button, WM_LBUTTONUP, 0, at);
    return !parent.messages.empty() && parent.messages[0].message == WM_COMMAND;
  };
  EXPECT_TRUE(commands(0, c1));
  EXPECT_FALSE(commands(0, {c1.x + 20, c1.y}));
  EXPECT_TRUE(commands(4, TestSkin::ButtonCentre(5)));
  EXPECT_TRUE(commands(6, TestSkin::ButtonCentre(7)));
  // A window of no size is never under the pointer.
  ShowWindow(parent.hwnd, SW_SHOWNA);
  RECT placed{};
  GetWindowRect(parent.hwnd, &placed);
  for (int i = 1; i <= 3; ++i) {
    const RECT w = windowRect(i);
    const POINT at = {placed.left + w.left, placed.top + w.top};
    EXPECT_NE(WindowFromPoint(at), view.Button(i).GetSafeHwnd()) << i;
  }
  EXPECT_EQ(view.ButtonIndexForHandle(nullptr), -1);
  EXPECT_EQ(view.ButtonIndexForHandle(view.Button(3).GetSafeHwnd()), 3);
}

TEST_F(DialViewTest, MissingMaskAndStatePictureLeaveTheRestWorking) {
  TestParent parent;
  TestSkin::Options options;
  options.missingMask = 4;
  ASSERT_TRUE(TestSkin::Write(folder.Path(), options));
  DeleteFileW((folder.Path() + L"disable.bmp").c_str());
  view.LoadSkin(parent.hwnd, U16Path(folder.Path()));
  RECT rect{};
  GetWindowRect(parent.hwnd, &rect);
  EXPECT_EQ(rect.right - rect.left, 185);
  EXPECT_EQ(rect.bottom - rect.top, 185);
  EXPECT_FALSE(view.Button(3).HasRegion());
  EXPECT_TRUE(view.Button(2).HasRegion());
  // Without its disabled image a disabled button paints its normal image.
  ShowWindow(parent.hwnd, SW_SHOWNA);
  EnableWindow(view.Button(2).GetSafeHwnd(), FALSE);
  UpdateWindow(view.Button(2).GetSafeHwnd());
  RedrawWindow(view.Button(2).GetSafeHwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_EQ(view.Button(2).Button().state, kStateDisabled);
}

TEST_F(DialViewTest, InitialisationPlacesTheDialHiddenTopmostAtTheLowerRight) {
  TestParent parent;
  ShowWindow(parent.hwnd, SW_SHOW);
  LoadInto(parent);
  RECT rect{};
  GetWindowRect(parent.hwnd, &rect);
  EXPECT_EQ(rect.left, GetSystemMetrics(SM_CXFULLSCREEN) - 185);
  EXPECT_EQ(rect.top, GetSystemMetrics(SM_CYFULLSCREEN) - 185);
  // The size stays the skin's until the first composition.
  EXPECT_EQ(rect.right - rect.left, TestSkin::kDisableWidth);
  EXPECT_FALSE(IsWindowVisible(parent.hwnd));
  EXPECT_NE(GetWindowLongW(parent.hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  EXPECT_EQ(GetWindowLongW(parent.hwnd, GWL_EXSTYLE) & WS_EX_LAYERED, 0);

  ShowWindow(parent.hwnd, SW_SHOWNA);
  InvalidateRect(parent.hwnd, nullptr, TRUE);
  UpdateWindow(parent.hwnd);
  EXPECT_GE(parent.paints, 1);
  EXPECT_NE(GetWindowLongW(parent.hwnd, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
  GetWindowRect(parent.hwnd, &rect);
  EXPECT_EQ(rect.right - rect.left, 185);
  EXPECT_EQ(rect.bottom - rect.top, 185);
  EXPECT_EQ(rect.left, GetSystemMetrics(SM_CXFULLSCREEN) - 185);
}

TEST_F(DialViewTest, ComposedDialHasPremultipliedAlphaAndFollowsTheFunction) {
  TestParent parent;
  LoadInto(parent);
  const POINT corner{2, 2};
  const POINT dialOnly{60, 150};
  const POINT ring{180, 92};
  const POINT middle{92, 92};
  const auto argb = [](std::uint32_t c) { return c; };

  std::vector<std::uint32_t> pixels = Compose(3, 0);
  EXPECT_EQ(At(pixels, corner), 0u);
  EXPECT_EQ(At(pixels, dialOnly), argb(TestSkin::kDialColour));
  // Half-transparent (alpha 128) C8 64 32 premultiplied: 64 32 19.
  const std::uint32_t ringPixel = At(pixels, ring);
  EXPECT_EQ(ringPixel >> 24, 0x80u);
  EXPECT_NEAR(static_cast<int>((ringPixel >> 16) & 0xFF), 0x64, 2);
  EXPECT_NEAR(static_cast<int>((ringPixel >> 8) & 0xFF), 0x32, 2);
  EXPECT_NEAR(static_cast<int>(ringPixel & 0xFF), 0x19, 2);
  EXPECT_EQ(At(pixels, middle), TestSkin::CentreColour(3));
  EXPECT_EQ(At(pixels, TestSkin::ButtonCentre(3)), TestSkin::OverlayColour(3));
  EXPECT_EQ(At(pixels, TestSkin::ButtonCentre(5)), TestSkin::kDialColour);

  pixels = Compose(3, 1);  // previewed: the "none" centre, the sector lit
  EXPECT_EQ(At(pixels, middle), TestSkin::CentreColour(0));
  EXPECT_EQ(At(pixels, TestSkin::ButtonCentre(3)), TestSkin::OverlayColour(3));

  pixels = Compose(0, 0);
  EXPECT_EQ(At(pixels, middle), TestSkin::CentreColour(0));
  for (int n = 1; n <= 8; ++n) {
    EXPECT_EQ(At(pixels, TestSkin::ButtonCentre(n)), TestSkin::kDialColour) << n;
  }
  // An image of its square's size lands pixel for pixel, edges included.
  int wrong = 0;
  for (int y = 0; y < 185; ++y) {
    for (int x = 0; x < 185; ++x) {
      if (x >= 47 && x < 138 && y >= 47 && y < 138) continue;
      const double d = std::hypot(x + 0.5 - 92.5, y + 0.5 - 92.5);
      const std::uint32_t want = d <= TestSkin::kDiscRadius   ? TestSkin::kDialColour
                                 : d <= TestSkin::kRingRadius ? 0x80643219u
                                                              : 0u;
      const std::uint32_t got = At(pixels, {x, y});
      bool same = true;
      for (int shift = 0; shift < 32; shift += 8) {
        same = same && std::abs(static_cast<int>((got >> shift) & 0xFF) -
                                static_cast<int>((want >> shift) & 0xFF)) <= 1;
      }
      wrong += same ? 0 : 1;
    }
  }
  EXPECT_EQ(wrong, 0);
  // A stored function out of range shows as none.
  EXPECT_EQ(Compose(9, 0), pixels);
  EXPECT_EQ(Compose(-3, 0), pixels);
}

// The dial drawn straight from its files into a fresh section: each file
// decoded, then drawn onto its square (pixel for pixel when it has the
// square's size, scaled smoothly otherwise), the first one copied and the
// others blended.
std::vector<std::uint32_t> ReferenceCompose(const CDialView& view, int function, int preview) {
  namespace flat = Gdiplus::DllExports;
  const auto pathOf = [&](const DialDraw& draw) {
    switch (draw.kind) {
      case DialImageKind::kDial:
        return view.DialImagePath();
      case DialImageKind::kCentre:
        return view.CentreImagePath(draw.index);
      case DialImageKind::kSegment:
        break;
    }
    return view.SegmentImagePath(draw.index);
  };
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 185, -185, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP section = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, section);
  Gdiplus::GpGraphics* graphics = nullptr;
  flat::GdipCreateFromHDC(dc, &graphics);
  flat::GdipSetCompositingMode(graphics, Gdiplus::CompositingModeSourceCopy);
  for (const DialDraw& draw : PlanDial(function, preview, view.ImagesPresent())) {
    Gdiplus::GpImage* image = nullptr;
    flat::GdipLoadImageFromFileICM(W(*pathOf(draw)), &image);
    UINT width = 0;
    UINT height = 0;
    flat::GdipGetImageWidth(image, &width);
    flat::GdipGetImageHeight(image, &height);
    const DialSquare& s = draw.square;
    const bool same = static_cast<int>(width) == s.size && static_cast<int>(height) == s.size;
    flat::GdipSetInterpolationMode(graphics, same ? Gdiplus::InterpolationModeNearestNeighbor
                                                  : Gdiplus::InterpolationModeBilinear);
    flat::GdipSetPixelOffsetMode(
        graphics, same ? Gdiplus::PixelOffsetModeHalf : Gdiplus::PixelOffsetModeDefault);
    const Gdiplus::Point corners[3] = {
        {s.left, s.top}, {s.left + s.size, s.top}, {s.left, s.top + s.size}};
    flat::GdipDrawImagePointsI(graphics, image, corners, 3);
    flat::GdipSetCompositingMode(graphics, Gdiplus::CompositingModeSourceOver);
    flat::GdipDisposeImage(image);
  }
  flat::GdipFlush(graphics, Gdiplus::FlushIntentionSync);
  flat::GdipDeleteGraphics(graphics);
  GdiFlush();
  const auto* words = static_cast<const std::uint32_t*>(bits);
  std::vector<std::uint32_t> pixels(words, words + 185 * 185);
  SelectObject(dc, old);
  DeleteObject(section);
  DeleteDC(dc);
  return pixels;
}

// Where two compositions differ, as "x,y: got instead of want" for the first few.
std::string Differences(const std::vector<std::uint32_t>& got,
                        const std::vector<std::uint32_t>& want) {
  std::string text;
  int count = 0;
  for (std::size_t i = 0; i < got.size() && i < want.size(); ++i) {
    if (got[i] == want[i]) continue;
    if (count++ < 4) {
      char line[80];
      std::snprintf(line, sizeof(line), " %zu,%zu: %08X instead of %08X", i % 185, i / 185, got[i],
                    want[i]);
      text += line;
    }
  }
  return count == 0 ? std::string() : std::to_string(count) + " pixels differ:" + text;
}

TEST_F(DialViewTest, EveryStateComposesTheSamePixelsAsDrawingTheFilesThemselves) {
  // The default skin (every image of its square's size), a skin whose
  // images have other sizes, with soft edges and partial alpha (a 400 x 400
  // dial, 50 x 50 centres, a 100 x 100 overlay)...
  const std::wstring defaultSkin = testing::DistFolder() + L"skins\\";
  ASSERT_TRUE(TestSkin::Write(folder.Path()));
  const auto soft = [](int size, std::uint32_t rgb) {
    return [size, rgb](int x, int y) -> std::uint32_t {
      const double d = std::hypot(x + 0.5 - size / 2.0, y + 0.5 - size / 2.0) / (size / 2.0);
      const auto alpha =
          static_cast<std::uint32_t>(std::lround(255 * std::clamp(1.1 - d, 0.0, 1.0)));
      return alpha << 24 | ((rgb ^ static_cast<std::uint32_t>((x * 7) << 8 | y * 5)) & 0xFFFFFF);
    };
  };
  ASSERT_TRUE(testing::WritePng(folder.Path() + L"dial.png", 400, 400, soft(400, 0x2060C0)));
  for (int n = 0; n <= 8; ++n) {
    ASSERT_TRUE(testing::WritePng(folder.Path() + L"centre" + std::to_wstring(n) + L".png", 50, 50,
                                  soft(50, 0x30C000u + static_cast<std::uint32_t>(n) * 20)));
  }
  ASSERT_TRUE(testing::WritePng(folder.Path() + L"overlay4.png", 100, 100, soft(100, 0xF01010)));
  // And one whose images have their squares' sizes, with soft edges that
  // reach every row and column of their squares.
  TempSkinFolder sized;
  ASSERT_TRUE(TestSkin::Write(sized.Path()));
  ASSERT_TRUE(testing::WritePng(sized.Path() + L"dial.png", 185, 185, soft(185, 0x2060C0)));
  for (int n = 0; n <= 8; ++n) {
    ASSERT_TRUE(testing::WritePng(sized.Path() + L"centre" + std::to_wstring(n) + L".png", 91, 91,
                                  soft(91, 0x30C000u + static_cast<std::uint32_t>(n) * 20)));
  }
  for (const std::wstring& skin : {defaultSkin, folder.Path(), sized.Path()}) {
    TestParent parent;
    CDialView prepared;
    prepared.LoadSkin(parent.hwnd, U16Path(skin));
    prepared.InitialiseDial(parent.hwnd);
    ASSERT_TRUE(prepared.ImagesPresent().dial);
    for (int function = 0; function <= 8; ++function) {
      for (int preview = 0; preview <= 1; ++preview) {
        const std::vector<std::uint32_t> want = ReferenceCompose(prepared, function, preview);
        EXPECT_EQ(Differences(ComposeWith(prepared, function, preview), want), "")
            << "function " << function << " preview " << preview;
        // Over an older picture: the dial image replaces every pixel.
        EXPECT_EQ(Differences(ComposeWith(prepared, function, preview, nullptr, 0xC0FFEE11u), want),
                  "")
            << "function " << function << " preview " << preview << " over a picture";
      }
    }
  }
}

TEST_F(DialViewTest, MetafilesAndPaletteBitmapsShowWhatTheirFilesHold) {
  TestParent parent;
  ASSERT_TRUE(TestSkin::Write(folder.Path()));
  const std::wstring ini = folder.Path() + L"skin_scroll.ini";
  constexpr std::uint32_t kDial = 0x3070B0;
  constexpr std::uint32_t kDialCorner = 0xA02040;
  constexpr std::uint32_t kCentre = 0x20C060;
  constexpr std::uint32_t kCentreCorner = 0xE0E010;
  ASSERT_TRUE(testing::WriteEmf(folder.Path() + L"dial.emf", 100, 100, kDial, kDialCorner));
  ASSERT_TRUE(testing::WriteEmf(folder.Path() + L"centre3.emf", 60, 60, kCentre, kCentreCorner));
  const std::vector<std::uint32_t> palette = {0, 0x102030, 0xC08040};
  ASSERT_TRUE(testing::WriteBmp4(folder.Path() + L"centre4.bmp", 50, 50, palette,
                                 [](int x, int) { return x < 25 ? 1 : 2; }));
  WritePrivateProfileStringW(L"SCREEN", L"Mask", L"dial.emf", ini.c_str());
  WritePrivateProfileStringW(L"SCREEN", L"Torv3", L"centre3.emf", ini.c_str());
  WritePrivateProfileStringW(L"SCREEN", L"Torv4", L"centre4.bmp", ini.c_str());
  view.LoadSkin(parent.hwnd, U16Path(folder.Path()));
  view.InitialiseDial(parent.hwnd);
  ASSERT_TRUE(view.ImagesPresent().dial);
  const auto opaque = [](std::uint32_t rgb) { return 0xFF000000u | rgb; };

  std::vector<std::uint32_t> pixels = Compose(3, 0);
  // The 100 x 100 dial scaled onto 185 x 185, its corner quarter where it was.
  EXPECT_EQ(At(pixels, {20, 20}), opaque(kDialCorner));
  EXPECT_EQ(At(pixels, {170, 170}), opaque(kDial));
  EXPECT_EQ(At(pixels, {20, 170}), opaque(kDial));
  EXPECT_EQ(At(pixels, {55, 55}), opaque(kCentreCorner));
  EXPECT_EQ(At(pixels, {120, 120}), opaque(kCentre));
  EXPECT_EQ(At(pixels, TestSkin::ButtonCentre(3)), TestSkin::OverlayColour(3));

  pixels = Compose(4, 0);
  EXPECT_EQ(At(pixels, {60, 92}), opaque(palette[1]));
  EXPECT_EQ(At(pixels, {125, 92}), opaque(palette[2]));
}

int refusedSections = 0;

HBITMAP WINAPI RefuseSection(HDC, const BITMAPINFO*, UINT, void**, HANDLE, DWORD) {
  ++refusedSections;
  return nullptr;
}

// A paint whose section cannot be made leaves the window's content as it
// was, and the next paint makes it.
TEST_F(DialViewTest, PaintThatCannotMakeItsCanvasChangesNothingAndTheNextOneDraws) {
  TestParent parent;
  LoadInto(parent);
  refusedSections = 0;
  const auto original = CDialView::createSection;
  CDialView::createSection = &RefuseSection;
  ShowWindow(parent.hwnd, SW_SHOWNA);
  InvalidateRect(parent.hwnd, nullptr, TRUE);
  UpdateWindow(parent.hwnd);
  CDialView::createSection = original;
  EXPECT_GE(refusedSections, 1);
  EXPECT_EQ(parent.paints, refusedSections);
  EXPECT_EQ(GetWindowLongW(parent.hwnd, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
  RECT rect{};
  GetWindowRect(parent.hwnd, &rect);
  EXPECT_EQ(rect.right - rect.left, TestSkin::kDisableWidth);

  InvalidateRect(parent.hwnd, nullptr, TRUE);
  UpdateWindow(parent.hwnd);
  EXPECT_GT(parent.paints, refusedSections);
  EXPECT_NE(GetWindowLongW(parent.hwnd, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
  GetWindowRect(parent.hwnd, &rect);
  EXPECT_EQ(rect.right - rect.left, 185);
}

TEST_F(DialViewTest, MissingImagesAreLeftOutAndNoDialImageMeansNoContent) {
  {
    TestParent parent;
    TestSkin::Options options;
    options.missingOverlay = 5;
    LoadInto(parent, options);
    const std::vector<std::uint32_t> pixels = Compose(5, 0);
    EXPECT_EQ(At(pixels, {92, 92}), TestSkin::CentreColour(5));
    EXPECT_EQ(At(pixels, TestSkin::ButtonCentre(5)), TestSkin::kDialColour);
  }
  TempSkinFolder other;
  TestParent parent;
  TestSkin::Options options;
  options.dialImage = false;
  ASSERT_TRUE(TestSkin::Write(other.Path(), options));
  CDialView bare;
  bare.LoadSkin(parent.hwnd, U16Path(other.Path()));
  bare.InitialiseDial(parent.hwnd);
  EXPECT_FALSE(bare.ImagesPresent().dial);
  parent.view = &bare;
  ShowWindow(parent.hwnd, SW_SHOWNA);
  InvalidateRect(parent.hwnd, nullptr, TRUE);
  UpdateWindow(parent.hwnd);
  EXPECT_GE(parent.paints, 1);
  EXPECT_EQ(GetWindowLongW(parent.hwnd, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
}

TEST_F(DialViewTest, PaintsAndClicksLeaveNoGdiObjectBehind) {
  TestParent parent;
  LoadInto(parent);
  ShowWindow(parent.hwnd, SW_SHOWNA);
  const auto paint = [&](int i) {
    parent.currentFunction = i % 10;
    parent.previewMode = i % 2;
    InvalidateRect(parent.hwnd, nullptr, TRUE);
    UpdateWindow(parent.hwnd);
    HWND button = view.Button(i % 8).GetSafeHwnd();
    SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, Point(15, 15));
    RedrawWindow(button, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    SendMessageW(button, WM_LBUTTONUP, 0, Point(15, 15));
    RedrawWindow(button, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  };
  for (int i = 0; i < 20; ++i) paint(i);
  testing::PumpFor(20);
  const long before = testing::GdiObjectCount(GetCurrentProcess());
  ASSERT_GT(before, 0);
  for (int i = 0; i < 150; ++i) paint(i);
  testing::PumpFor(20);
  EXPECT_EQ(testing::GdiObjectCount(GetCurrentProcess()), before);
  EXPECT_GE(parent.paints, 170);
  // Every paint makes its canvas afresh and releases it: only the images
  // stay, and loading, painting and releasing them again and again leaves
  // no more objects each time.
  std::vector<long> afterRelease;
  for (int cycle = 0; cycle < 3; ++cycle) {
    view.ReleaseDialImages();
    testing::PumpFor(20);
    afterRelease.push_back(testing::GdiObjectCount(GetCurrentProcess()));
    view.InitialiseDial(parent.hwnd);
    ShowWindow(parent.hwnd, SW_SHOWNA);
    for (int i = 0; i < 20; ++i) paint(i);
  }
  EXPECT_EQ(afterRelease[2], afterRelease[1]);
}

}  // namespace
}  // namespace torvo::win32
