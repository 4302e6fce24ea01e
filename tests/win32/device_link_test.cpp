// The device link end to end: Torvo.exe programs the virtual keyboard at
// start and after an arrival, and gives up an upload when the keyboard leaves.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "hiddriver/state_dump.h"
#include "settings/config_block.h"
#include "settings/settings_model.h"
#include "torvo_fixture.h"

namespace torvo::testing {
namespace {

using vkb::KeyActionKind;

// What the keyboard must have understood a key to do.
struct ExpectedKey {
  KeyActionKind kind;
  std::uint8_t a = 0;          // kPlain: code; kKeys: first usage; others: value
  std::uint8_t b = 0;          // kKeys: second usage; kMacro: macro number
  std::uint8_t c = 0;          // kKeys: third usage
  const char* text = nullptr;  // how the keyboard's dump names it, when given
};

ExpectedKey Plain(std::uint8_t code) {
  return {KeyActionKind::kPlain, code};
}
ExpectedKey Keys(std::uint8_t first, std::uint8_t second = 0, std::uint8_t third = 0,
                 const char* name = nullptr) {
  return {KeyActionKind::kKeys, first, second, third, name};
}

void ExpectKeys(const vkb::SlotModel& slot, const std::vector<ExpectedKey>& expected,
                int slotIndex) {
  ASSERT_EQ(expected.size(), 20u);
  for (int k = 0; k < 20; ++k) {
    const vkb::KeyAction& got = slot.actions[k];
    const ExpectedKey& e = expected[k];
    SCOPED_TRACE("slot " + std::to_string(slotIndex) + " key " + std::to_string(k) + ": " +
                 vkb::DescribeKeyAction(got));
    EXPECT_EQ(got.kind, static_cast<std::uint8_t>(e.kind));
    switch (e.kind) {
      case KeyActionKind::kPlain:
        EXPECT_EQ(got.code, e.a);
        break;
      case KeyActionKind::kKeys: {
        const std::uint8_t keys[4] = {e.a, e.b, e.c, 0};
        EXPECT_EQ(std::memcmp(got.keys, keys, 4), 0);
        break;
      }
      case KeyActionKind::kMacro:
        EXPECT_EQ(got.value, e.a);
        EXPECT_EQ(got.macroNumber, e.b);
        break;
      default:
        EXPECT_EQ(got.value, e.a);
        break;
    }
    if (e.text != nullptr) {
      EXPECT_EQ(vkb::DescribeKeyAction(got), e.text);
    }
  }
}

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
  // The upload ends with the host-state report and its poll.
  StartAndWaitForUpload();

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

  const vkb::KeyboardModel model = keyboard.Model();
  EXPECT_EQ(model.activeSlot, 0);
  EXPECT_EQ(model.hostActive, 1);
  EXPECT_EQ(model.hostDialShown, 0);
  // The default keys: in slot 0 the digits 1..0 and six more single keys;
  // in the other slots nine keys of action 1, then seven single keys; the
  // last four keys of every slot carry no key.
  const std::vector<ExpectedKey> slot0 = {
      Keys(0x1E), Keys(0x1F), Keys(0x20), Keys(0x21), Keys(0x22), Keys(0x23), Keys(0x24),
      Keys(0x25), Keys(0x26), Keys(0x27), Keys(0x63), Keys(0x57), Keys(0x2F), Keys(0x30),
      Keys(0x2E), Keys(0x2D), Keys(0),    Keys(0),    Keys(0),    Keys(0),
  };
  const std::vector<ExpectedKey> others = {
      Plain(1),   Plain(1),   Plain(1),   Plain(1),   Plain(1),   Plain(1),   Plain(1),
      Plain(1),   Plain(1),   Keys(0x16), Keys(0x2A), Keys(0x38), Keys(0x1D), Keys(0x1B),
      Keys(0x06), Keys(0x19), Keys(0),    Keys(0),    Keys(0),    Keys(0),
  };
  ExpectKeys(model.slots[0], slot0, 0);
  for (int slot = 1; slot < 4; ++slot) ExpectKeys(model.slots[slot], others, slot);
  EXPECT_EQ(model.slots[0].actions[0].code, 0x02);
  for (int slot = 0; slot < 4; ++slot) EXPECT_EQ(model.slots[slot].keyTableReports, 1u);
}

TEST_F(DeviceLinkTest, SavedKeysArriveAsTheActionsTheyStandFor) {
  ConfigBlock block{};
  MakeDefaultBlock(block);
  ProfileRecord& profile = block.slots[1];
  // Every shortcut, a macro key, a single key, the three functions, an
  // action with a parameter and a plain action.
  const std::uint8_t shortcuts[] = {0x31, 0x34, 0x3A, 0x3B, 0x3C, 0x3D, 0x40, 0x41, 0x42};
  for (int k = 0; k < 9; ++k) profile.keys[k].actionType = shortcuts[k];
  profile.keys[9].actionType = 3;
  profile.keys[9].macroIndex = 4;
  profile.keys[10].actionClass = 4;
  profile.keys[10].keyCodes[0] = 0x013A;  // only the low byte travels
  profile.keys[11].actionType = 16;
  profile.keys[12].actionType = 17;
  profile.keys[13].actionType = 18;
  profile.keys[14].actionType = 11;
  profile.keys[14].actionParam = 7;
  profile.keys[15].actionType = 0x20;
  profile.keys[16].actionType = 2;
  profile.keys[16].keyCodes[0] = 0xE1;
  profile.keys[16].keyCodes[1] = 0x04;
  profile.keys[17].actionType = 0;
  ASSERT_TRUE(area.Write(L"Config.data",
                         std::string(reinterpret_cast<const char*>(&block), sizeof(block))));
  StartAndWaitForCreation();
  ASSERT_TRUE(WaitUntil([&] { return keyboard.Model().hostStateReports >= 1; }, 15000))
      << keyboard.DumpReportLog(false);

  const std::vector<ExpectedKey> expected = {
      Keys(0xE2, 0x3D, 0, "Left Alt + F4"),
      Keys(0xE3, 0x07, 0, "Left GUI + D"),
      Keys(0xE0, 0x06, 0, "Left Control + C"),
      Keys(0xE0, 0x1B, 0, "Left Control + X"),
      Keys(0xE0, 0x19, 0, "Left Control + V"),
      Keys(0xE0, 0x1D, 0, "Left Control + Z"),
      Keys(0xE2, 0x2B, 0, "Left Alt + Tab"),
      Keys(0xE3, 0x08, 0, "Left GUI + E"),
      Keys(0xE0, 0xE1, 0x29, "Left Control + Left Shift + Escape"),
      {KeyActionKind::kMacro, 4, 30, 0, "macro 30 (index 4)"},
      {KeyActionKind::kSingleKey, 0x3A, 0, 0, "single key F1"},
      {KeyActionKind::kFunction, 1, 0, 0, "function 1"},
      {KeyActionKind::kFunction, 2},
      {KeyActionKind::kFunction, 3},
      {KeyActionKind::kParameter, 7},
      {KeyActionKind::kPlain, 0x20, 0, 0, "action 0x20"},
      Keys(0xE1, 0x04, 0, "keys Left Shift + A"),
      {KeyActionKind::kPlain, 0, 0, 0, "no action"},
      Keys(0),
      Keys(0),
  };
  ExpectKeys(keyboard.Model().slots[1], expected, 1);
  EXPECT_NE(keyboard.Dump().find("  key 9: 03 04 1E 00 00  macro 30 (index 4)\n"),
            std::string::npos)
      << keyboard.Dump();
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

TEST_F(DeviceLinkTest, AnApplyQueuedBehindTheUploadNamesTheSlotTheKeyboardSwitchedTo) {
  PeerWindow configurator(L"Vistrane");
  // A busy keyboard: every report waits for a second poll, so the start-up
  // upload takes seconds.
  ASSERT_TRUE(keyboard.SetStatusBehaviour(vkb::StatusMode::kBusyThenReady, 1, true));
  StartAndWaitForCreation();
  ASSERT_TRUE(WaitUntil([&] { return HasSetReport(0x04); }, 15000));
  // An apply queued behind the upload, then the keyboard switches to slot 2
  // itself (no request follows that).
  ASSERT_TRUE(PostMessageW(torvo.MainWindow(), 1224, 0, 0));
  ASSERT_TRUE(keyboard.SendInputEvent(0x1000, 3));
  ASSERT_TRUE(keyboard.WaitForDelivery(2000));
  ASSERT_TRUE(WaitUntil([&] { return configurator.Count(1255) == 1; }, 3000));
  ASSERT_LE(keyboard.Model().activeSlotReports, 1u) << "the apply ran before the switch";
  ASSERT_TRUE(keyboard.SetStatusBehaviour(vkb::StatusMode::kReady));

  ASSERT_TRUE(WaitUntil([&] { return configurator.Count(1256) == 1; }, 20000))
      << keyboard.DumpReportLog(false);
  std::vector<std::uint8_t> slotsNamed;
  for (const auto& report : keyboard.AcceptedSetReports()) {
    if (report[0] == 0x05) slotsNamed.push_back(report[2]);
  }
  // The start-up upload's and the apply's; the apply's came last.
  ASSERT_EQ(slotsNamed.size(), 2u) << keyboard.DumpReportLog(false);
  EXPECT_EQ(slotsNamed.back(), 2) << keyboard.DumpReportLog(false);
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
  // The request's remaining reports (active slot, the key tables, the host
  // state) come after the removal closed the device: the keyboard refuses
  // them as sent to a closed device, and nothing else.
  for (std::uint8_t id : {0x05, 0x08, 0x10}) ExpectProtocolErrors(vkb::Verdict::kNotOpen, id);
  for (const vkb::ProtocolError& error : keyboard.ProtocolErrors()) {
    EXPECT_EQ(error.verdict, static_cast<std::uint32_t>(vkb::Verdict::kNotOpen)) << error.text;
  }
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

// A device library call that never returns at shutdown: the exit command still
// ends the process within three seconds, and the peers are told.
TEST_F(DeviceLinkTest, ExitWhileSetFeatureHangsEndsWithinThreeSeconds) {
  PeerWindow configurator(L"Vistrane");
  PeerWindow display(L"Zenqo_K27_Vistrane_OSD");
  StartAndWaitForCreation();
  ASSERT_TRUE(WaitUntil([&] { return keyboard.Model().hostStateReports >= 1; }, 15000))
      << keyboard.DumpReportLog(false);
  // Every SetFeature from now on blocks until the mode changes.
  ASSERT_TRUE(keyboard.SetStatusBehaviour(vkb::StatusMode::kSetBlocks, 0));
  const ULONGLONG asked = GetTickCount64();
  ExitBy(WM_COMMAND, 6002);
  const ULONGLONG took = GetTickCount64() - asked;
  std::printf("shutdown with a hanging SetFeature took %llu ms\n", took);
  EXPECT_LT(took, 3000u) << torvo.Traces();
  EXPECT_GE(keyboard.BlockedCalls(), 1u) << "the closing report was still in the library";
  ASSERT_TRUE(WaitUntil([&] { return configurator.Messages().size() >= 2; }, 2000));
  EXPECT_EQ(configurator.MessageNumbers(), (std::vector<UINT>{1042, WM_CLOSE}));
  EXPECT_EQ(display.MessageNumbers(), (std::vector<UINT>{WM_CLOSE}));
  EXPECT_EQ(torvo.Traces().find("exception"), std::string::npos) << torvo.Traces();
  ASSERT_TRUE(keyboard.SetStatusBehaviour(vkb::StatusMode::kReady));
}

}  // namespace
}  // namespace torvo::testing
