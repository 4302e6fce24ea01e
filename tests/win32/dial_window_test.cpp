// The dial end to end: Torvo.exe shows its layered dial at the lower right,
// the screen shows the skin where the dial is opaque and what lies beneath
// where it is transparent, the picture follows the device's gestures, and a
// real click on a sector selects its function.
#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which it builds on.
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "dial/win32/dial_view_win32.h"
#include "dial_pixels.h"
#include "dial_test_skin.h"
#include "torvo_fixture.h"

namespace torvo::testing {
namespace {

constexpr COLORREF kBackdropColour = RGB(255, 0, 255);

// A plain window of one colour under the dial, so that what shows through
// the dial is known.
class Backdrop {
 public:
  explicit Backdrop(const RECT& rect) {
    static const wchar_t kClass[] = L"TorvoDialBackdrop";
    static HBRUSH brush = CreateSolidBrush(kBackdropColour);
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = brush;
    wc.lpszClassName = kClass;
    RegisterClassW(&wc);
    hwnd_ = CreateWindowExW(WS_EX_TOOLWINDOW, kClass, L"", WS_POPUP | WS_VISIBLE, rect.left,
                            rect.top, rect.right - rect.left, rect.bottom - rect.top, nullptr,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
    UpdateWindow(hwnd_);
  }
  ~Backdrop() { DestroyWindow(hwnd_); }

 private:
  HWND hwnd_ = nullptr;
};

COLORREF ScreenPixel(POINT p) {
  HDC screen = GetDC(nullptr);
  const COLORREF colour = GetPixel(screen, p.x, p.y);
  ReleaseDC(nullptr, screen);
  return colour;
}

// 0xAARRGGBB (opaque) as the screen's COLORREF.
COLORREF AsColorref(std::uint32_t argb) {
  return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}

class DialWindowTest : public TorvoTest {
 protected:
  // The dial's place on the screen.
  static POINT DialOrigin() {
    return {GetSystemMetrics(SM_CXFULLSCREEN) - 185, GetSystemMetrics(SM_CYFULLSCREEN) - 185};
  }
  static POINT OnScreen(POINT inDial) {
    const POINT origin = DialOrigin();
    return {origin.x + inDial.x, origin.y + inDial.y};
  }
  static RECT DialRect() {
    const POINT o = DialOrigin();
    return {o.x, o.y, o.x + 185, o.y + 185};
  }

  void UseTestSkin(const TestSkin::Options& options = {}) {
    const std::wstring skins = folder.Path() + L"skins\\";
    EmptyFolder(skins);
    ASSERT_TRUE(TestSkin::Write(skins, options));
  }

  // Shows the dial with message 1040 and waits for its first composition.
  void ShowDial() {
    HWND main = torvo.MainWindow();
    SendMessageW(main, 1040, 0, 0);
    ASSERT_TRUE(WaitUntil(
        [&] {
          RECT r{};
          GetWindowRect(main, &r);
          return IsWindowVisible(main) &&
                 (GetWindowLongW(main, GWL_EXSTYLE) & WS_EX_LAYERED) != 0 &&
                 r.right - r.left == 185 && r.bottom - r.top == 185;
        },
        5000))
        << torvo.Traces();
  }

  bool WaitForScreenPixel(POINT inDial, COLORREF expected) {
    return WaitUntil([&] { return ScreenPixel(OnScreen(inDial)) == expected; }, 3000);
  }

  // Moves the pointer onto the point and clicks there. The move goes into
  // the input queue ahead of the press, as a person's does: a button that
  // took the capture when the pointer passed over it sees the pointer leave
  // before the press arrives.
  static void Click(POINT onScreen) {
    SetCursorPos(onScreen.x, onScreen.y);
    INPUT inputs[3] = {};
    inputs[0].type = INPUT_MOUSE;
    inputs[0].mi.dx = MulDiv(onScreen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    inputs[0].mi.dy = MulDiv(onScreen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    inputs[1].type = INPUT_MOUSE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[2].type = INPUT_MOUSE;
    inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(3, inputs, sizeof(INPUT));
  }

  // The most memory the program has committed so far.
  static SIZE_T PeakCommitted(const TorvoProcess& process) {
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    if (!GetProcessMemoryInfo(process.ProcessHandle(), &memory, sizeof(memory))) return 0;
    return memory.PeakPagefileUsage;
  }

  // Shows and hides the dial with 1040, each answered within a deadline.
  static void ToggleDialTwice(HWND main) {
    for (const bool visible : {true, false}) {
      DWORD_PTR result = 0;
      ASSERT_NE(SendMessageTimeoutW(main, 1040, 0, 0, SMTO_ABORTIFHUNG, 3000, &result), 0);
      EXPECT_TRUE(WaitUntil([&] { return (IsWindowVisible(main) != FALSE) == visible; }, 3000));
    }
  }

  // The dial-function reports (0x0B) the keyboard accepted.
  std::vector<std::vector<std::uint8_t>> DialFunctionReports() const {
    std::vector<std::vector<std::uint8_t>> found;
    for (const auto& report : keyboard.AcceptedSetReports()) {
      if (report[0] == 0x0B) found.push_back(report);
    }
    return found;
  }
};

TEST_F(DialWindowTest, DefaultSkinShowsAsALayeredTopmostDialOverWhatLiesBeneath) {
  Backdrop backdrop(DialRect());
  StartAndWaitForUpload();
  HWND main = torvo.MainWindow();
  ShowDial();
  RECT rect{};
  GetWindowRect(main, &rect);
  EXPECT_EQ(rect.left, DialOrigin().x);
  EXPECT_EQ(rect.top, DialOrigin().y);
  EXPECT_NE(GetWindowLongW(main, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);

  // What the dial should look like, composed here from the same skin.
  StartGdiplusOnce();
  win32::CDialView expected;
  HWND scratch = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
  const std::wstring skins = folder.Path() + L"skins\\";
  expected.LoadSkin(scratch, std::u16string(skins.begin(), skins.end()));
  expected.InitialiseDial(scratch);
  ASSERT_TRUE(expected.ImagesPresent().dial);
  // The default selection is function 1.
  const std::vector<std::uint32_t> pixels = DrawnDialPixels(expected, 1, 0);
  ASSERT_FALSE(pixels.empty());
  DestroyWindow(scratch);

  // Every fourth pixel: transparent ones show the backdrop, opaque ones the skin.
  int transparent = 0;
  int opaque = 0;
  int wrong = 0;
  std::string firstWrong;
  ASSERT_TRUE(WaitForScreenPixel({1, 1}, kBackdropColour));
  for (int y = 0; y < 185; y += 4) {
    for (int x = 0; x < 185; x += 4) {
      const std::uint32_t p = pixels[static_cast<std::size_t>(y * 185 + x)];
      const std::uint32_t alpha = p >> 24;
      if (alpha != 0 && alpha != 255) continue;
      // The full-screen metrics can put the dial's lower edge off screen.
      const POINT at = OnScreen({x, y});
      if (at.x >= GetSystemMetrics(SM_CXSCREEN) || at.y >= GetSystemMetrics(SM_CYSCREEN)) continue;
      const COLORREF want = alpha == 0 ? kBackdropColour : AsColorref(p);
      (alpha == 0 ? transparent : opaque) += 1;
      const COLORREF seen = ScreenPixel(at);
      if (seen != want) {
        if (wrong++ < 5) {
          firstWrong += " " + std::to_string(x) + "," + std::to_string(y) + ": " +
                        std::to_string(seen) + " instead of " + std::to_string(want);
        }
      }
    }
  }
  EXPECT_GT(transparent, 100);
  EXPECT_GT(opaque, 1000);
  EXPECT_EQ(wrong, 0) << firstWrong;
}

TEST_F(DialWindowTest, PictureFollowsAGestureAndTheChosenFunctionIsSaved) {
  UseTestSkin();
  PeerWindow configurator(L"Vistrane");
  Backdrop backdrop(DialRect());
  StartAndWaitForUpload();
  ShowDial();
  const POINT middle{92, 92};
  EXPECT_TRUE(WaitForScreenPixel(middle, AsColorref(TestSkin::CentreColour(1))));
  EXPECT_TRUE(
      WaitForScreenPixel(TestSkin::ButtonCentre(1), AsColorref(TestSkin::OverlayColour(1))));
  EXPECT_TRUE(WaitForScreenPixel({2, 2}, kBackdropColour));

  // A gesture that points at 5, then at none, and ends there keeps function 1.
  ASSERT_TRUE(keyboard.SendInputEvent(0x6000, 1));
  ASSERT_TRUE(keyboard.SendInputEvent(0x7000, 5));
  EXPECT_TRUE(
      WaitForScreenPixel(TestSkin::ButtonCentre(5), AsColorref(TestSkin::OverlayColour(5))));
  ASSERT_TRUE(keyboard.SendInputEvent(0x7000, 0));
  EXPECT_TRUE(WaitForScreenPixel(TestSkin::ButtonCentre(5), AsColorref(TestSkin::kDialColour)));
  EXPECT_EQ(ScreenPixel(OnScreen(middle)), AsColorref(TestSkin::CentreColour(0)));
  ASSERT_TRUE(keyboard.SendInputEvent(0x6000, 2));
  EXPECT_TRUE(WaitForScreenPixel(middle, AsColorref(TestSkin::CentreColour(1))));
  EXPECT_TRUE(WaitUntil([&] { return configurator.Count(1254) == 1; }, 3000));

  ASSERT_TRUE(keyboard.SendInputEvent(0x6000, 1));
  EXPECT_TRUE(WaitForScreenPixel(middle, AsColorref(TestSkin::CentreColour(0))));
  EXPECT_TRUE(WaitForScreenPixel(TestSkin::ButtonCentre(1), AsColorref(TestSkin::kDialColour)));
  ASSERT_TRUE(keyboard.SendInputEvent(0x7000, 5));
  EXPECT_TRUE(
      WaitForScreenPixel(TestSkin::ButtonCentre(5), AsColorref(TestSkin::OverlayColour(5))));
  EXPECT_EQ(ScreenPixel(OnScreen(middle)), AsColorref(TestSkin::CentreColour(0)));
  ASSERT_TRUE(keyboard.SendInputEvent(0x6000, 2));
  EXPECT_TRUE(WaitForScreenPixel(middle, AsColorref(TestSkin::CentreColour(5))));
  EXPECT_EQ(ScreenPixel(OnScreen(TestSkin::ButtonCentre(5))),
            AsColorref(TestSkin::OverlayColour(5)));
  EXPECT_TRUE(WaitUntil([&] { return configurator.Count(1254) == 2; }, 3000));
}

TEST_F(DialWindowTest, ClickOnASectorSelectsItsFunctionAndACornerDoesNothing) {
  UseTestSkin();
  PeerWindow configurator(L"Vistrane");
  Backdrop backdrop(DialRect());
  StartAndWaitForUpload();
  ShowDial();
  ASSERT_TRUE(WaitForScreenPixel({92, 92}, AsColorref(TestSkin::CentreColour(1))));
  const auto configTime = area.WriteTime(L"Config.data");
  const auto libraryTime = area.WriteTime(L"SoftWare.data");

  Click(OnScreen({2, 2}));
  PumpFor(300);
  EXPECT_TRUE(DialFunctionReports().empty());
  EXPECT_EQ(configurator.Count(1254), 0);

  Click(OnScreen(TestSkin::ButtonCentre(3)));
  ASSERT_TRUE(WaitUntil([&] { return DialFunctionReports().size() == 1; }, 3000)) << torvo.Traces();
  EXPECT_EQ(DialFunctionReports()[0], (std::vector<std::uint8_t>{0x0B, 0x08, 0, 3, 0, 0, 0, 0}));
  EXPECT_TRUE(WaitUntil([&] { return configurator.Count(1254) == 1; }, 3000));
  EXPECT_TRUE(WaitUntil(
      [&] {
        return area.WriteTime(L"Config.data") != configTime &&
               area.WriteTime(L"SoftWare.data") != libraryTime;
      },
      3000));
  EXPECT_TRUE(WaitForScreenPixel({92, 92}, AsColorref(TestSkin::CentreColour(3))));
  EXPECT_EQ(ScreenPixel(OnScreen(TestSkin::ButtonCentre(3))),
            AsColorref(TestSkin::OverlayColour(3)));
}

// The keyboard is plugged in again and, during the pause that follows, the
// dial is shown and a sector clicked: the dial selects at once, and the
// keyboard learns the function once it is open after the pause.
TEST_F(DialWindowTest, AClickDuringTheArrivalPauseReachesTheKeyboardAfterTheOpen) {
  UseTestSkin();
  PeerWindow configurator(L"Vistrane");
  Backdrop backdrop(DialRect());
  ASSERT_TRUE(keyboard.SetPlugged(false, false));
  StartAndWaitForCreation();
  ASSERT_TRUE(keyboard.SetPlugged(true, true));
  ASSERT_TRUE(keyboard.WaitForDelivery(2000));
  const ULONGLONG arrived = GetTickCount64();
  // The arrival is handled before the dial is shown (a sent 1040 would
  // overtake the posted arrival).
  PumpFor(500);
  ShowDial();
  ASSERT_TRUE(WaitForScreenPixel({92, 92}, AsColorref(TestSkin::CentreColour(1))));
  Click(OnScreen(TestSkin::ButtonCentre(3)));
  ASSERT_TRUE(WaitUntil([&] { return configurator.Count(1254) == 1; }, 3000)) << torvo.Traces();
  EXPECT_TRUE(WaitForScreenPixel({92, 92}, AsColorref(TestSkin::CentreColour(3))));
  EXPECT_TRUE(keyboard.Reports().empty()) << keyboard.DumpReportLog(false);

  ASSERT_TRUE(WaitUntil([&] { return DialFunctionReports().size() == 1; }, 15000))
      << keyboard.DumpReportLog(false) << torvo.Traces();
  EXPECT_EQ(DialFunctionReports()[0], (std::vector<std::uint8_t>{0x0B, 0x08, 0, 3, 0, 0, 0, 0}));
  EXPECT_EQ(keyboard.Model().slots[0].dialFunction, 3);
  for (const vkb::ReportLogEntry& e : keyboard.Reports()) {
    if (e.bytes[0] != 0x0B) continue;
    EXPECT_GE(e.tickMs - static_cast<std::uint32_t>(arrived), 7900u) << "sent during the pause";
  }
  // The show's host-state report went out too, before the click's.
  const auto reports = keyboard.AcceptedSetReports();
  const auto shown = std::find(reports.begin(), reports.end(),
                               std::vector<std::uint8_t>{0x10, 0x08, 1, 1, 0, 0, 0, 0});
  const auto clicked =
      std::find_if(reports.begin(), reports.end(), [](const auto& r) { return r[0] == 0x0B; });
  EXPECT_LT(shown, clicked) << keyboard.DumpReportLog(false);
}

TEST_F(DialWindowTest, SectorWithoutMaskIsNotClickableAndTheOthersAre) {
  TestSkin::Options options;
  options.missingMask = 3;
  UseTestSkin(options);
  Backdrop backdrop(DialRect());
  StartAndWaitForUpload();
  ShowDial();
  ASSERT_TRUE(WaitForScreenPixel({92, 92}, AsColorref(TestSkin::CentreColour(1))));
  Click(OnScreen(TestSkin::ButtonCentre(3)));
  PumpFor(300);
  EXPECT_TRUE(DialFunctionReports().empty());
  Click(OnScreen(TestSkin::ButtonCentre(4)));
  ASSERT_TRUE(WaitUntil([&] { return DialFunctionReports().size() == 1; }, 3000));
  EXPECT_EQ(DialFunctionReports()[0][3], 4);
}

// Far beyond the dial: the state pictures are 185 x 185 and 200 x 190.
TEST_F(DialWindowTest, ButtonRectanglesFarBeyondTheDialKeepItsMemorySmallAndItsClicks) {
  UseTestSkin();
  const std::wstring skins = folder.Path() + L"skins\\";
  const std::wstring ini = skins + L"skin_scroll.ini";
  // 1: twenty times the dial from a negative origin, its mask 300 x 300
  // with the disc where the sector is; 2: a hundred times the dial from its
  // own corner; 3: all of the plane; 4: wholly off the dial.
  const POINT c1 = TestSkin::ButtonCentre(1);
  ASSERT_TRUE(WriteBmp(skins + L"yinliang_mask.bmp", 300, 300, [c1](int x, int y) {
    return std::hypot(x - 100 - c1.x, y - 100 - c1.y) <= 12 ? 0xFF000000u : 0xFFFFFFFFu;
  }));
  const RECT r2 = TestSkin::ButtonRect(2);
  const std::wstring far2 =
      L"i," + std::to_wstring(r2.left) + L"," + std::to_wstring(r2.top) + L",18500,18500";
  WritePrivateProfileStringW(L"BUTTONPOS", L"1", L"v,-100,-100,3700,3700", ini.c_str());
  WritePrivateProfileStringW(L"BUTTONPOS", L"2", far2.c_str(), ini.c_str());
  WritePrivateProfileStringW(L"BUTTONPOS", L"3", L"u,-2147483648,-2147483648,-1,-1", ini.c_str());
  WritePrivateProfileStringW(L"BUTTONPOS", L"4", L"l,-500,90,400,30", ini.c_str());
  Backdrop backdrop(DialRect());
  StartAndWaitForUpload();
  ShowDial();
  ASSERT_TRUE(WaitForScreenPixel({92, 92}, AsColorref(TestSkin::CentreColour(1))));
  EXPECT_NE(torvo.Traces().find("lies off the dial; its button has no size"), std::string::npos);
  // Four 3700 x 3700 cut-outs of button 1 alone would commit 200 MiB.
  EXPECT_LT(PeakCommitted(torvo), SIZE_T{48} << 20);

  for (const int n : {2, 1, 6}) {
    Click(OnScreen(TestSkin::ButtonCentre(n)));
    ASSERT_TRUE(WaitForScreenPixel({92, 92}, AsColorref(TestSkin::CentreColour(n))))
        << n << torvo.Traces();
  }
  // Sector 4's button has no size: its click selects nothing.
  Click(OnScreen(TestSkin::ButtonCentre(4)));
  PumpFor(300);
  for (const auto& report : DialFunctionReports()) EXPECT_NE(report[3], 4);
  EXPECT_EQ(ScreenPixel(OnScreen({92, 92})), AsColorref(TestSkin::CentreColour(6)));
  EXPECT_TRUE(torvo.FaultExceptions().empty());
}

// Every [BUTTONPOS] entry makes its button, whatever its value, and a
// "Disable" picture smaller than the dial cuts none of them away.
TEST_F(DialWindowTest, EveryButtonEntryMakesItsWindowAndTheSectorsOnTheDialSelect) {
  UseTestSkin();
  const std::wstring skins = folder.Path() + L"skins\\";
  const std::wstring ini = skins + L"skin_scroll.ini";
  ASSERT_TRUE(WriteBmp(skins + L"disable.bmp", 100, 100, [](int, int) { return 0xFF202020u; }));
  WritePrivateProfileStringW(L"BUTTONPOS", L"6", L"", ini.c_str());
  WritePrivateProfileStringW(L"BUTTONPOS", L"7", L"z,30,30,-20,30", ini.c_str());
  WritePrivateProfileStringW(L"BUTTONPOS", L"8", L"p,300,300,20,20", ini.c_str());
  Backdrop backdrop(DialRect());
  StartAndWaitForUpload();
  ShowDial();
  ASSERT_TRUE(WaitForScreenPixel({92, 92}, AsColorref(TestSkin::CentreColour(1))));

  std::size_t buttons = 0;
  HWND main = torvo.MainWindow();
  for (HWND child = FindWindowExW(main, nullptr, L"Rgn Button", nullptr); child != nullptr;
       child = FindWindowExW(main, child, L"Rgn Button", nullptr)) {
    ++buttons;
  }
  EXPECT_EQ(buttons, 8u);

  // Sectors 3 and 4 lie beyond the 100 x 100 "Disable" picture.
  for (const int n : {3, 4, 2}) {
    Click(OnScreen(TestSkin::ButtonCentre(n)));
    ASSERT_TRUE(WaitForScreenPixel({92, 92}, AsColorref(TestSkin::CentreColour(n))))
        << n << torvo.Traces();
  }
  ASSERT_TRUE(WaitUntil([&] { return DialFunctionReports().size() == 3; }, 3000));
  EXPECT_EQ(DialFunctionReports()[0][3], 3);
  EXPECT_EQ(DialFunctionReports()[2][3], 2);
  // Sector 6 has a button of no size: its click selects nothing.
  Click(OnScreen(TestSkin::ButtonCentre(6)));
  PumpFor(300);
  // (An upload of the whole settings may repeat the dial report of 2.)
  for (const auto& report : DialFunctionReports()) EXPECT_NE(report[3], 6);
  EXPECT_EQ(DialFunctionReports().back()[3], 2);
  EXPECT_EQ(ScreenPixel(OnScreen({92, 92})), AsColorref(TestSkin::CentreColour(2)));
  EXPECT_TRUE(torvo.FaultExceptions().empty());
}

// One skin with every kind of damage: a truncated and an empty state
// picture, a mask whose header claims 60000 x 60000 pixels, ini values of
// thousands of characters; then the same without its "skin_scroll.ini".
TEST_F(DialWindowTest, DamagedSkinLeavesTheProgramWorkingAndEndingCleanly) {
  UseTestSkin();
  const std::wstring skins = folder.Path() + L"skins\\";
  const std::wstring ini = skins + L"skin_scroll.ini";
  const std::string normal = ReadWholeFile(skins + L"normal.bmp");
  ASSERT_GT(normal.size(), 5000u);
  ASSERT_TRUE(WriteText(skins + L"normal.bmp", normal.substr(0, 5000)));
  ASSERT_TRUE(WriteText(skins + L"over.bmp", ""));
  ASSERT_TRUE(WriteText(skins + L"page_mask.bmp", HugeBmpHeader()));
  const std::wstring longValue(5000, L'x');
  WritePrivateProfileStringW(L"SCREEN", L"Torv2", longValue.c_str(), ini.c_str());
  WritePrivateProfileStringW(L"SCREEN", L"Down", (longValue + L".bmp").c_str(), ini.c_str());
  WritePrivateProfileStringW(L"BUTTONPOS", L"5", (L"b,70,140,30,30," + longValue).c_str(),
                             ini.c_str());
  WritePrivateProfileStringW(L"BUTTONPOS", L"6", (L"s," + std::wstring(3000, L'9')).c_str(),
                             ini.c_str());

  StartAndWaitForUpload();
  HWND main = torvo.MainWindow();
  ToggleDialTwice(main);
  EXPECT_NE(torvo.Traces().find("A skin bitmap is larger than a skin picture may be"),
            std::string::npos)
      << torvo.Traces();
  EXPECT_NE(torvo.Traces().find("A skin image path of 500 characters or more is refused"),
            std::string::npos);
  EXPECT_LT(PeakCommitted(torvo), SIZE_T{48} << 20);
  ExitBy(WM_COMMAND, 6002);
  EXPECT_TRUE(torvo.FaultExceptions().empty()) << torvo.Traces();

  ASSERT_TRUE(DeleteFileW(ini.c_str()));
  TorvoProcess second;
  StartAndWaitForCreation(second);
  ASSERT_TRUE(WaitForUploadEnd(2)) << keyboard.DumpReportLog(false);
  ToggleDialTwice(second.MainWindow());
  EXPECT_NE(second.Traces().find("The dial image could not be loaded"), std::string::npos);
  ExitBy(second, WM_COMMAND, 6002);
  EXPECT_TRUE(second.FaultExceptions().empty()) << second.Traces();
}

TEST_F(DialWindowTest, WithoutADialImageTheWindowGetsNoLayeredContentAndTheProgramRuns) {
  TestSkin::Options options;
  options.dialImage = false;
  UseTestSkin(options);
  StartAndWaitForUpload();
  HWND main = torvo.MainWindow();
  SendMessageW(main, 1040, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(main) != FALSE; }, 3000));
  PumpFor(200);
  EXPECT_EQ(GetWindowLongW(main, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
  EXPECT_NE(torvo.Traces().find("The dial image could not be loaded"), std::string::npos);
  // Still answering: the next toggle hides the dial again.
  DWORD_PTR result = 0;
  ASSERT_NE(SendMessageTimeoutW(main, 1040, 0, 0, SMTO_ABORTIFHUNG, 3000, &result), 0);
  EXPECT_FALSE(IsWindowVisible(main));
  EXPECT_TRUE(torvo.Running());
}

}  // namespace
}  // namespace torvo::testing
