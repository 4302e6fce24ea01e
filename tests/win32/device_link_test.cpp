// The device link end to end: Torvo.exe programs the virtual keyboard at
// start and after an arrival, and gives up an upload when the keyboard leaves.
#include <gtest/gtest.h>

#include <cstring>

#include "device/reports.h"
#include "torvo_fixture.h"
#include "settings/config_block.h"
#include "settings/settings_model.h"

namespace torvo::testing {
namespace {

class DeviceLinkTest : public TorvoTest {
 protected:
  // The accepted set reports, by report id.
  std::vector<std::uint8_t> SetReportIds() const {
    std::vector<std::uint8_t> ids;
    for (const auto& report : keyboard.AcceptedSetReports()) ids.push_back(report[0]);
    return ids;
  }

  bool HasSetReport(std::uint8_t id) const {
    for (const auto& entry : keyboard.Reports()) {
      if (entry.kind == static_cast<std::uint8_t>(vkb::LogKind::kSet) && entry.bytes[0] == id) {
        return true;
      }
    }
    return false;
  }
};

TEST_F(DeviceLinkTest, StartUploadReachesTheKeyboardInOrderWithDefaults) {
  StartAndWaitForCreation();
  // The upload ends with the host-state report and its poll.
  ASSERT_TRUE(WaitUntil(
      [&] {
        const auto log = keyboard.Reports();
        return keyboard.Model().hostStateReports >= 1 && !log.empty() &&
               log.back().kind == static_cast<std::uint8_t>(vkb::LogKind::kGet);
      },
      15000))
      << keyboard.DumpReportLog(false);

  const std::vector<std::uint8_t> expected = {0x04, 0x05, 0x08, 0x08, 0x08, 0x08, 0x10};
  EXPECT_EQ(SetReportIds(), expected);
  // Every set report is followed by its status poll.
  const auto log = keyboard.Reports();
  for (std::size_t i = 0; i < log.size(); ++i) {
    if (log[i].kind != static_cast<std::uint8_t>(vkb::LogKind::kSet)) continue;
    ASSERT_LT(i + 1, log.size());
    EXPECT_EQ(log[i + 1].kind, static_cast<std::uint8_t>(vkb::LogKind::kGet)) << "entry " << i;
    EXPECT_EQ(log[i + 1].bytes[0], 0x04);
  }

  ConfigBlock defaults{};
  MakeDefaultBlock(defaults);
  const vkb::KeyboardModel model = keyboard.Model();
  EXPECT_EQ(model.activeSlot, 0);
  EXPECT_EQ(model.hostActive, 1);
  EXPECT_EQ(model.hostDialShown, 0);
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const KeyTableReport table = BuildKeyTableReport(defaults.slots[slot], slot);
    EXPECT_EQ(std::memcmp(model.slots[slot].keys, table.data() + 4, 100), 0) << "slot " << slot;
  }
}

TEST_F(DeviceLinkTest, SavedActiveSlotIsWhatTheUploadStartsWith) {
  ConfigBlock block{};
  MakeDefaultBlock(block);
  block.header.activeSlot = 2;
  ASSERT_TRUE(area.Write(L"Config.data",
                         std::string(reinterpret_cast<const char*>(&block), sizeof(block))));
  StartAndWaitForCreation();
  ASSERT_TRUE(WaitUntil([&] { return keyboard.Model().activeSlotReports >= 1; }, 15000));
  const auto reports = keyboard.AcceptedSetReports();
  ASSERT_GE(reports.size(), 2u);
  EXPECT_EQ(reports[0][0], 0x04);
  EXPECT_EQ(reports[0][1], 2);
  EXPECT_EQ(keyboard.Model().activeSlot, 2);
}

TEST_F(DeviceLinkTest, ArrivalBringsAFullUploadAfterThePauseWhileTheWindowAnswers) {
  ASSERT_TRUE(keyboard.SetPlugged(false, false));
  StartAndWaitForCreation();
  HWND main = torvo.MainWindow();

  ASSERT_TRUE(keyboard.SetPlugged(true, true));
  ASSERT_TRUE(keyboard.WaitForDelivery(2000));
  const ULONGLONG arrived = GetTickCount64();
  // During the pause the window keeps answering at once.
  int answered = 0;
  while (GetTickCount64() - arrived < 6000) {
    DWORD_PTR result = 0;
    const ULONGLONG before = GetTickCount64();
    ASSERT_NE(SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result), 0);
    EXPECT_LT(GetTickCount64() - before, 500u);
    ++answered;
    PumpFor(1000);
    EXPECT_TRUE(keyboard.AcceptedSetReports().empty()) << "upload before the pause ended";
  }
  EXPECT_GE(answered, 5);
  ASSERT_TRUE(WaitUntil([&] { return keyboard.Model().hostStateReports >= 1; }, 15000))
      << keyboard.DumpReportLog(false);
  EXPECT_EQ(SetReportIds().front(), 0x04);
  // The upload starts once the pause of about 8 s has passed.
  const auto log = keyboard.Reports();
  ASSERT_FALSE(log.empty());
  const std::uint32_t sinceArrival = log.front().tickMs - static_cast<std::uint32_t>(arrived);
  EXPECT_GE(sinceArrival, 7900u);
  EXPECT_LT(sinceArrival, 10000u);
  EXPECT_GE(keyboard.Counters().openFeatureDevice, 2u);  // at start, then after the pause
}

TEST_F(DeviceLinkTest, RemovalDuringABusyUploadEndsItWithinTwoSeconds) {
  ASSERT_TRUE(keyboard.SetStatusBehaviour(vkb::StatusMode::kBusyForever));
  StartAndWaitForCreation();
  // The upload-start report is waiting for a device that stays busy.
  ASSERT_TRUE(WaitUntil([&] { return HasSetReport(0x04); }, 10000));
  ASSERT_TRUE(keyboard.SetPlugged(false, true));
  ASSERT_TRUE(keyboard.WaitForDelivery(2000));
  // The request runs on without polls: its last report (host state) is tried
  // promptly, and refused by the absent keyboard.
  EXPECT_TRUE(WaitUntil([&] { return HasSetReport(0x10); }, 2500)) << keyboard.DumpReportLog(false);
  EXPECT_EQ(keyboard.Counters().closeFeatureDevice, 1u);
}

TEST_F(DeviceLinkTest, RemovalAsADeviceEventClosesTheDeviceAndTheConfigurator) {
  PeerWindow configurator(L"Vistrane");
  StartAndWaitForCreation();
  ASSERT_TRUE(WaitUntil([&] { return keyboard.Model().hostStateReports >= 1; }, 15000));

  // A connection value other than arrival and removal changes nothing.
  ASSERT_TRUE(keyboard.SendConnection(5));
  ASSERT_TRUE(keyboard.SendInputEvent(0x7F00, 7));
  ASSERT_TRUE(keyboard.WaitForDelivery(2000));
  // Removal reported through the event message (class 0x7F00, value 2).
  ASSERT_TRUE(keyboard.SendInputEvent(0x7F00, 2));
  ASSERT_TRUE(keyboard.WaitForDelivery(2000));
  ASSERT_TRUE(WaitUntil([&] { return configurator.Messages().size() >= 2; }, 3000));
  EXPECT_EQ(configurator.MessageNumbers(), (std::vector<UINT>{1042, WM_CLOSE}));
  EXPECT_EQ(keyboard.Counters().closeFeatureDevice, 1u);
  // A second removal is ignored.
  ASSERT_TRUE(keyboard.SendConnection(0));
  ASSERT_TRUE(keyboard.WaitForDelivery(2000));
  PumpFor(200);
  EXPECT_EQ(configurator.Messages().size(), 2u);
  EXPECT_EQ(keyboard.Counters().closeFeatureDevice, 1u);
}

}  // namespace
}  // namespace torvo::testing
