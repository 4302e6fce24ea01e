// Shutdown and arrival end to end: what the keyboard hears last, the order in
// which the configurator is told, and that nothing reaches a device that has
// not been opened yet.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/win32/ansi_converter_win32.h"
#include "menu_support.h"
#include "peer_block.h"
#include "torvo_fixture.h"

namespace torvo::testing {
namespace {

constexpr auto kSet = static_cast<std::uint8_t>(vkb::LogKind::kSet);
constexpr auto kGet = static_cast<std::uint8_t>(vkb::LogKind::kGet);

bool IsHostState(const vkb::ReportLogEntry& e, std::uint8_t active, std::uint8_t dial) {
  return e.kind == kSet && e.bytes[0] == 0x10 && e.bytes[1] == 8 && e.bytes[2] == active &&
         e.bytes[3] == dial;
}

class ShutdownTest : public TorvoTest {
 protected:
  // Index of the first host-state (0, 0) report in the log, or -1.
  static int FirstClosingReport(const std::vector<vkb::ReportLogEntry>& log) {
    for (std::size_t i = 0; i < log.size(); ++i) {
      if (IsHostState(log[i], 0, 0)) return static_cast<int>(i);
    }
    return -1;
  }
  static const vkb::ReportLogEntry* LastSet(const std::vector<vkb::ReportLogEntry>& log) {
    for (auto it = log.rbegin(); it != log.rend(); ++it) {
      if (it->kind == kSet) return &*it;
    }
    return nullptr;
  }
  // The configurator is told only after the closing report's status read.
  void ExpectConfiguratorToldAfterTheClosingPoll(const PeerWindow& configurator) {
    const auto log = keyboard.Reports();
    const int closing = FirstClosingReport(log);
    ASSERT_GE(closing, 0) << keyboard.DumpReportLog(false);
    ASSERT_LT(static_cast<std::size_t>(closing + 1), log.size());
    const vkb::ReportLogEntry& poll = log[static_cast<std::size_t>(closing + 1)];
    EXPECT_EQ(poll.kind, kGet) << "the closing report is followed by its status read";
    ASSERT_EQ(configurator.MessageNumbers(), (std::vector<UINT>{1042, WM_CLOSE}));
    EXPECT_GE(static_cast<std::int32_t>(configurator.Messages()[0].tickMs - poll.tickMs), 0)
        << "1042 reached the configurator before the closing report was done";
  }
};

TEST_F(ShutdownTest, TheClosingReportAndItsPollComeBeforeTheConfiguratorIsTold) {
  PeerWindow configurator(L"Vistrane");
  StartAndWaitForUpload();
  // A device that answers busy once: the closing poll takes a while, and a
  // 1042 posted before it would arrive first.
  ASSERT_TRUE(keyboard.SetStatusBehaviour(vkb::StatusMode::kBusyThenReady, 1, true));
  ExitBy(WM_COMMAND, 6002);
  ExpectConfiguratorToldAfterTheClosingPoll(configurator);
  const auto log = keyboard.Reports();
  ASSERT_NE(LastSet(log), nullptr);
  EXPECT_TRUE(IsHostState(*LastSet(log), 0, 0));
  // An idle worker: the closing report is sent once.
  int closingReports = 0;
  for (const auto& e : log) closingReports += IsHostState(e, 0, 0) ? 1 : 0;
  EXPECT_EQ(closingReports, 1);
}

TEST_F(ShutdownTest, AnUploadRunningAtShutdownDoesNotHaveTheLastWord) {
  PeerWindow configurator(L"Vistrane");
  PeerWindow display(L"Zenqo_K27_Vistrane_OSD");
  // Every report keeps the keyboard busy for two polls (100 + 1000 + 1500 ms).
  ASSERT_TRUE(keyboard.SetStatusBehaviour(vkb::StatusMode::kBusyThenReady, 2, true));
  StartAndWaitForCreation();
  ASSERT_TRUE(WaitUntil([&] { return keyboard.Model().keyTableReports >= 1; }, 20000))
      << keyboard.DumpReportLog(false);

  const ULONGLONG asked = GetTickCount64();
  ExitBy(WM_COMMAND, 6002);
  const ULONGLONG took = GetTickCount64() - asked;
  std::printf("shutdown with a busy upload took %llu ms\n", took);
  EXPECT_LT(took, 3000u) << torvo.Traces();

  const auto log = keyboard.Reports();
  const vkb::ReportLogEntry* last = LastSet(log);
  ASSERT_NE(last, nullptr);
  EXPECT_TRUE(IsHostState(*last, 0, 0)) << keyboard.DumpReportLog(false);
  EXPECT_EQ(keyboard.Model().hostActive, 0);
  ExpectConfiguratorToldAfterTheClosingPoll(configurator);
  EXPECT_EQ(display.MessageNumbers(), (std::vector<UINT>{WM_CLOSE}));
}

TEST_F(ShutdownTest, ARemovalDuringThePauseEndsTheArrivalAndClosesTheConfigurator) {
  PeerWindow configurator(L"Vistrane");
  ASSERT_TRUE(keyboard.SetPlugged(false, false));
  StartAndWaitForCreation();
  HWND main = torvo.MainWindow();
  const std::uint32_t opensAtStart = keyboard.Counters().openFeatureDevice;

  // Arrival reported through the event message, then gone again within the
  // pause: nothing is opened, uploaded or shown, and the configurator is
  // closed as after every removal.
  ASSERT_TRUE(keyboard.SetPlugged(true, false));
  ASSERT_TRUE(keyboard.SendInputEvent(0x7F00, 1));
  ASSERT_TRUE(keyboard.WaitForDelivery(2000));
  PumpFor(1000);
  ASSERT_TRUE(keyboard.SendInputEvent(0x7F00, 2));
  ASSERT_TRUE(keyboard.WaitForDelivery(2000));
  ASSERT_TRUE(WaitUntil([&] { return configurator.Messages().size() >= 2; }, 3000))
      << torvo.Traces();
  EXPECT_EQ(configurator.MessageNumbers(), (std::vector<UINT>{1042, WM_CLOSE}));
  ASSERT_TRUE(torvo.WaitForTrace("the arrival is cancelled", 3000)) << torvo.Traces();
  PumpFor(8500);
  EXPECT_EQ(keyboard.Counters().openFeatureDevice, opensAtStart);
  EXPECT_TRUE(keyboard.Reports().empty()) << keyboard.DumpReportLog(false);
  EXPECT_FALSE(TrayIconExists(main));
  EXPECT_EQ(configurator.Messages().size(), 2u);
}

TEST_F(ShutdownTest, AnApplyHeldAcrossThePausesEndUploadsBeforeItIsAnswered) {
  PeerWindow configurator(L"Vistrane");
  ASSERT_TRUE(keyboard.SetPlugged(false, false));
  StartAndWaitForCreation();
  HWND main = torvo.MainWindow();
  PeerBlock shared;
  ASSERT_TRUE(shared.Valid());
  bool changedAtAnswer = false;
  configurator.onMessage = [&](const RecordedMessage& m) {
    if (m.message == 1256) changedAtAnswer = keyboard.Model().slots[0].keys[0][1] == 0x2C;
  };

  // The keyboard arrives; during the pause the configurator changes a key
  // and applies while it holds the share mutex until the pause is over.
  ASSERT_TRUE(keyboard.SetPlugged(true, false));
  ASSERT_TRUE(keyboard.SendInputEvent(0x7F00, 1));
  ASSERT_TRUE(keyboard.WaitForDelivery(2000));
  const ULONGLONG arrived = GetTickCount64();
  ASSERT_TRUE(shared.Edit([](ConfigBlock& block) { block.slots[0].keys[0].keyCodes[0] = 0x2C; }));
  ASSERT_TRUE(shared.Lock());
  ASSERT_TRUE(PostMessageW(main, 1224, 0, 0));
  while (GetTickCount64() - arrived < 9500) PumpFor(100);
  EXPECT_EQ(configurator.Count(1256), 0) << "answered before its upload";
  shared.Unlock();

  // Decided after its copy, on a device that is present by then: the key
  // reaches the keyboard, then the configurator hears the apply is done.
  ASSERT_TRUE(WaitUntil([&] { return configurator.Count(1256) == 1; }, 20000))
      << keyboard.DumpReportLog(false) << torvo.Traces();
  EXPECT_TRUE(changedAtAnswer) << keyboard.DumpReportLog(false);
  EXPECT_GE(keyboard.Model().keyTableReports, 8u) << "the full upload, then the apply";
  EXPECT_TRUE(TrayIconExists(main));
}

// A library that is slow but answers (600 ms a call) is waited for at exit:
// the closing report and its poll go through, and the library is closed.
TEST_F(ShutdownTest, ASlowLibraryIsWaitedForAndClosedAtExit) {
  PeerWindow configurator(L"Vistrane");
  StartAndWaitForUpload();
  ASSERT_TRUE(keyboard.SetStatusBehaviour(vkb::StatusMode::kSetBlocks, 600));
  const vkb::CallCounters before = keyboard.Counters();
  const ULONGLONG asked = GetTickCount64();
  ExitBy(WM_COMMAND, 6002);
  const ULONGLONG took = GetTickCount64() - asked;
  std::printf("shutdown with a slow library took %llu ms\n", took);
  EXPECT_LT(took, 3000u) << torvo.Traces();
  ExpectConfiguratorToldAfterTheClosingPoll(configurator);
  EXPECT_EQ(keyboard.Model().hostActive, 0);
  const vkb::CallCounters after = keyboard.Counters();
  EXPECT_EQ(after.closeDevMonitor, before.closeDevMonitor + 1);
  EXPECT_EQ(after.closeFeatureDevice, before.closeFeatureDevice + 1);
  EXPECT_NE(torvo.Traces().find("The device library was closed and unloaded"), std::string::npos)
      << torvo.Traces();
  ASSERT_TRUE(keyboard.SetStatusBehaviour(vkb::StatusMode::kReady));
}

// A library call that never returns: the exit command still ends the process
// within three seconds, cleanly, and the peers are still told.
class StuckLibraryTest : public ShutdownTest,
                         public ::testing::WithParamInterface<vkb::StatusMode> {};

TEST_P(StuckLibraryTest, TheExitCommandEndsTheProcessWithinThreeSeconds) {
  PeerWindow configurator(L"Vistrane");
  PeerWindow display(L"Zenqo_K27_Vistrane_OSD");
  StartAndWaitForCreation();
  // The start-up upload is underway; from now on every call of the chosen
  // kind blocks until the mode changes, and the worker runs into one.
  ASSERT_TRUE(WaitUntil([&] { return keyboard.Model().uploadStartReports >= 1; }, 15000));
  ASSERT_TRUE(keyboard.SetStatusBehaviour(GetParam(), 0));
  ASSERT_TRUE(WaitUntil([&] { return keyboard.BlockedCalls() >= 1; }, 5000));
  const vkb::CallCounters before = keyboard.Counters();
  const ULONGLONG asked = GetTickCount64();
  ExitBy(WM_COMMAND, 6002);
  const ULONGLONG took = GetTickCount64() - asked;
  std::printf("shutdown with a stuck library call took %llu ms\n", took);
  EXPECT_LT(took, 3000u) << torvo.Traces();
  EXPECT_TRUE(torvo.FaultExceptions().empty()) << torvo.Traces();
  // Nothing of the library is closed while a call is still inside it.
  const vkb::CallCounters after = keyboard.Counters();
  EXPECT_EQ(after.closeDevMonitor, before.closeDevMonitor);
  EXPECT_EQ(after.closeFeatureDevice, before.closeFeatureDevice);
  EXPECT_NE(torvo.Traces().find("its monitor and device are not closed"), std::string::npos)
      << torvo.Traces();
  EXPECT_EQ(configurator.MessageNumbers(), (std::vector<UINT>{1042, WM_CLOSE}));
  EXPECT_EQ(display.MessageNumbers(), (std::vector<UINT>{WM_CLOSE}));
  EXPECT_GE(keyboard.BlockedCalls(), 1u) << "the worker was not inside the library";
  ASSERT_TRUE(keyboard.SetStatusBehaviour(vkb::StatusMode::kReady));
}

INSTANTIATE_TEST_SUITE_P(BlockingCalls, StuckLibraryTest,
                         ::testing::Values(vkb::StatusMode::kGetBlocks,
                                           vkb::StatusMode::kSetBlocks));

TEST(AnsiLabels, ConvertThroughTheActiveCodePage) {
  if (GetACP() != 1252) GTEST_SKIP() << "the expectations are written for Windows-1252";
  Win32AnsiConverter converter;
  // A letter of the code page, as one character and as a base letter with a
  // combining accent; a character outside it; the euro sign at 0x80.
  EXPECT_EQ(converter.ToAnsi(u"Caf\u00E9"), "Caf\xE9");
  EXPECT_EQ(converter.ToAnsi(u"Cafe\u0301"), "Caf\xE9");
  EXPECT_EQ(converter.ToAnsi(u"\u4E2D1"), "?1");
  EXPECT_EQ(converter.ToAnsi(u"\u20AC5"),
            "\x80"
            "5");
  // Cut to fit without splitting a letter from its accent.
  EXPECT_EQ(ToAnsiFitting(converter, u"ab\u00E9\u00E9", 3), "ab\xE9");
}

}  // namespace
}  // namespace torvo::testing
