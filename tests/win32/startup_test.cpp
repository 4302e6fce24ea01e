// Torvo.exe started as a user starts it: single instance, the share mutex,
// device present or absent, and the shutdown sequence seen by the suite's
// other programs and by the keyboard.
#include <gtest/gtest.h>

#include <memory>

#include "torvo_fixture.h"

namespace torvo::testing {
namespace {

constexpr UINT kCloseNotice = 1042;

class StartupTest : public TorvoTest {};

TEST_F(StartupTest, SecondInstanceForwardsOnlyTheConfiguratorRequest) {
  // This test plays the first instance: it owns the instance mutex and the
  // main window title.
  HANDLE instance = CreateMutexW(nullptr, FALSE, L"Zenqo_K27_Vistrane_Monitor");
  ASSERT_NE(instance, nullptr);
  PeerWindow first(L"Zenqo_K27_Vistrane_Torv");

  for (const wchar_t* arguments : {L"", L"21", L"1", L"123"}) {
    TorvoProcess second;
    ASSERT_TRUE(second.Start(folder, arguments));
    ASSERT_TRUE(second.WaitForExit(kExitTimeoutMs)) << "arguments: " << arguments;
    PumpFor(50);  // a post made just before the exit is delivered by now
  }
  ASSERT_EQ(first.Count(WM_COMMAND), 2);  // "1" and "123"
  for (const auto& m : first.Messages()) {
    EXPECT_EQ(m.wParam, 6001u);
    EXPECT_EQ(m.lParam, 0);
  }
  EXPECT_EQ(folder.LaunchCount(L"OSD.exe"), 0);
  EXPECT_EQ(keyboard.Counters().openDevMonitor, 0u);
  CloseHandle(instance);
}

TEST_F(StartupTest, ShareMutexHeldElsewhereStopsCreation) {
  HANDLE share = CreateMutexW(nullptr, FALSE, L"Zenqo_K27_Vistrane_Share_Mutex");
  ASSERT_NE(share, nullptr);
  PeerWindow configurator(L"Vistrane");
  PeerWindow osd(L"Zenqo_K27_Vistrane_OSD");

  ASSERT_TRUE(torvo.Start(folder));
  ASSERT_TRUE(torvo.WaitForExit(kStartTimeoutMs)) << torvo.Traces();
  ASSERT_TRUE(WaitUntil([&] { return configurator.Messages().size() >= 2; }, 2000));

  EXPECT_EQ(configurator.MessageNumbers(), (std::vector<UINT>{kCloseNotice, WM_CLOSE}));
  EXPECT_EQ(osd.MessageNumbers(), (std::vector<UINT>{WM_CLOSE}));
  EXPECT_EQ(folder.LaunchCount(L"OSD.exe"), 0);
  const vkb::CallCounters counters = keyboard.Counters();
  EXPECT_EQ(counters.openDevMonitor, 0u);
  EXPECT_EQ(counters.openFeatureDevice, 0u);
  EXPECT_EQ(counters.setFeature, 0u) << "a refused start must not talk to the device";
  CloseHandle(share);
}

TEST_F(StartupTest, DeviceAbsentAtStartRunsWithoutTimersAndStillStartsTheDisplay) {
  ASSERT_TRUE(keyboard.SetPlugged(false, false));
  StartAndWaitForCreation();
  EXPECT_NE(torvo.Traces().find("Device not present at start"), std::string::npos);
  // Timer 502 would have fired three times over by now.
  PumpFor(600);
  ExitBy(WM_COMMAND, 6002);

  EXPECT_EQ(folder.LaunchCount(L"OSD.exe"), 1);
  const vkb::CallCounters counters = keyboard.Counters();
  EXPECT_EQ(counters.openDevMonitor, 1u);
  EXPECT_EQ(counters.openFeatureDevice, 1u);
  EXPECT_TRUE(keyboard.AcceptedSetReports().empty());
  EXPECT_EQ(counters.getFeature, 0u);
}

TEST_F(StartupTest, ShutdownByTheExitCommandClosesPeersAndTellsTheDeviceLast) {
  PeerWindow configurator(L"Vistrane");
  PeerWindow osd(L"Zenqo_K27_Vistrane_OSD");
  StartAndWaitForCreation();
  EXPECT_NE(torvo.Traces().find("Device opened at start"), std::string::npos);

  HWND main = torvo.MainWindow();
  // The dialog manager's own show comes when the program first goes idle;
  // watch the window through it.
  bool everVisible = false;
  WaitUntil(
      [&] {
        everVisible = everVisible || IsWindowVisible(main);
        return false;
      },
      400);
  EXPECT_FALSE(everVisible) << "the dial window stays hidden at start";
  // A tool window without a taskbar button, made topmost by the dial's
  // initialisation; it becomes layered only at its first composition.
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(main, GWL_EXSTYLE)),
            static_cast<DWORD>(WS_EX_TOOLWINDOW | WS_EX_TOPMOST));

  ExitBy(WM_COMMAND, 6002);
  ASSERT_TRUE(WaitUntil([&] { return configurator.Messages().size() >= 2; }, 2000));
  EXPECT_EQ(configurator.MessageNumbers(), (std::vector<UINT>{kCloseNotice, WM_CLOSE}));
  EXPECT_EQ(osd.MessageNumbers(), (std::vector<UINT>{WM_CLOSE}));

  const auto reports = keyboard.AcceptedSetReports();
  ASSERT_FALSE(reports.empty());
  const std::vector<std::uint8_t> closing = {0x10, 0x08, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(reports.back(), closing);
  const vkb::CallCounters counters = keyboard.Counters();
  EXPECT_EQ(counters.closeDevMonitor, 1u);
  EXPECT_EQ(counters.closeFeatureDevice, 1u);
  EXPECT_EQ(folder.LaunchCount(L"OSD.exe"), 1);
}

TEST_F(StartupTest, WindowCloseEndsTheProgram) {
  StartAndWaitForCreation();
  ExitBy(WM_CLOSE, 0);
}

TEST_F(StartupTest, MissingDeviceLibraryLeavesTheProgramRunning) {
  folder.Remove(L"hiddriver.dll");
  StartAndWaitForCreation();
  EXPECT_NE(torvo.Traces().find("hiddriver.dll could not be loaded"), std::string::npos)
      << torvo.Traces();
  EXPECT_TRUE(torvo.Running());
  ExitBy(WM_COMMAND, 6002);
  EXPECT_EQ(keyboard.Counters().openDevMonitor, 0u);
}

}  // namespace
}  // namespace torvo::testing
