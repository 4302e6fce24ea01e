#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "device/device_protocol.h"
#include "device/reports.h"
#include "device_fakes.h"
#include "fakes.h"

namespace torvo {
namespace {

using ::testing::ElementsAre;
using testing::FakeClock;
using testing::FakeDevice;
using Bytes = std::vector<std::uint8_t>;

class DeviceProtocolTest : public ::testing::Test {
 protected:
  // Fake times of every GetFeature.
  std::vector<std::uint64_t> PollTimes() const {
    std::vector<std::uint64_t> out;
    for (const auto& r : device.log) {
      if (!r.set) out.push_back(r.atMs);
    }
    return out;
  }
  // (report ID, fake time) of every SetFeature.
  std::vector<std::pair<int, std::uint64_t>> Sends() const {
    std::vector<std::pair<int, std::uint64_t>> out;
    for (const auto& r : device.log) {
      if (r.set) out.emplace_back(r.bytes[0], r.atMs);
    }
    return out;
  }
  void MakeMacroKey(int slot, int key, std::uint8_t code) {
    KeyAssignment& k = block->slots[slot].keys[key];
    k.actionType = 3;
    k.stepCount = 1;
    k.steps[0] = {code, 1, 10};
    block->header.uploadFlags[slot][key] = 1;
  }

  FakeClock clock;
  FakeDevice device{clock};
  DeviceFlags flags;
  Cp1252Converter converter;
  DeviceProtocol protocol{device, clock, flags, converter};
  std::unique_ptr<ConfigBlock> block = testing::MakeDeviceTestBlock();
  fakes::TraceRecorder traces;
};

TEST_F(DeviceProtocolTest, ReadyDeviceAnswersAfterTheFirstWait) {
  EXPECT_EQ(protocol.WaitDeviceReady(200), 1);
  EXPECT_THAT(PollTimes(), ElementsAre(200));
  EXPECT_THAT(device.log[0].bytes, ElementsAre(0x04, 0, 0));
  // The first wait is cut to whole 100 ms slices.
  EXPECT_EQ(protocol.WaitDeviceReady(150), 1);
  EXPECT_EQ(protocol.WaitDeviceReady(50), 1);
  EXPECT_THAT(PollTimes(), ElementsAre(200, 300, 300));
}

TEST_F(DeviceProtocolTest, BusyForeverGivesUpAfter16500MsMoreThanTheFirstWait) {
  device.defaultStatus = kStatusBusy;
  EXPECT_EQ(protocol.WaitDeviceReady(200), 0);
  EXPECT_THAT(PollTimes(),
              ElementsAre(200, 1200, 2700, 4700, 6700, 8700, 10700, 12700, 14700, 16700));
  EXPECT_EQ(clock.now, 16700u);
}

TEST_F(DeviceProtocolTest, AbortEndsThePollWithinASlice) {
  device.defaultStatus = kStatusBusy;
  clock.At(5050, [this] { flags.abortTransfer = 1; });
  EXPECT_EQ(protocol.WaitDeviceReady(200), 0);
  EXPECT_THAT(PollTimes(), ElementsAre(200, 1200, 2700, 4700));
  EXPECT_EQ(clock.now, 5100u);

  // Raised before the poll: no wait and no status read at all.
  device.log.clear();
  EXPECT_EQ(protocol.WaitDeviceReady(100), 0);
  EXPECT_TRUE(device.log.empty());
  EXPECT_EQ(clock.now, 5100u);

  // Raised during the last slice of a wait: the status is not read after it.
  flags.abortTransfer = 0;
  clock.At(5250, [this] { flags.abortTransfer = 1; });
  EXPECT_EQ(protocol.WaitDeviceReady(200), 0);
  EXPECT_TRUE(device.log.empty());
  EXPECT_EQ(clock.now, 5300u);
}

TEST_F(DeviceProtocolTest, StatusAnswersAndFailedReads) {
  struct Case {
    std::vector<int> statuses;  // -1: GetFeature fails
    int result;
    int polls;
  };
  const Case cases[] = {
      {{1}, 1, 1},
      {{-1}, 0, 1},  // failed first read: no status at all
      {{2}, 0, 1},   // neither done nor busy: no retry
      {{0}, 0, 1},
      {{3, -1, 1}, 1, 3},  // a failed read after busy counts as busy
      {{3, -1, -1, 2}, 0, 4},
      {{3, 3, 3, 3, 3, 3, 3, 3, 3, 1}, 1, 10},
  };
  for (const Case& c : cases) {
    device.log.clear();
    device.statuses.assign(c.statuses.begin(), c.statuses.end());
    device.defaultStatus = kStatusBusy;
    EXPECT_EQ(protocol.WaitDeviceReady(100), c.result) << c.statuses.size();
    EXPECT_EQ(device.Polls(), c.polls) << c.statuses.size();
  }
}

TEST_F(DeviceProtocolTest, ShortReportsPollOnlyWhenSent) {
  block->header.activeSlot = 2;
  block->slots[2].selectedFunction = 6;
  EXPECT_EQ(protocol.SendDialFunction(*block), 1);
  EXPECT_EQ(protocol.SendActiveSlot(2), 1);
  EXPECT_EQ(protocol.SendUploadStart(2), 1);
  EXPECT_EQ(protocol.SendHostState(true, true), 1);
  EXPECT_THAT(device.Sent(),
              ElementsAre(Bytes{0x0B, 8, 2, 6, 0, 0, 0, 0}, Bytes{0x05, 4, 2, 4},
                          Bytes{0x04, 2, 0xFF, 0, 0, 0, 0, 0}, Bytes{0x10, 8, 1, 1, 0, 0, 0, 0}));
  EXPECT_EQ(device.Polls(), 4);
  EXPECT_EQ(clock.now, 400u);

  device.log.clear();
  device.setResult = 0;
  EXPECT_EQ(protocol.SendHostState(false, false), 0);
  EXPECT_EQ(protocol.SendKeyTable(*block, 0), 0);
  EXPECT_EQ(device.Polls(), 0);
  EXPECT_EQ(clock.now, 400u);
}

TEST_F(DeviceProtocolTest, IndicesFromTheBlockAreChecked) {
  for (int slot : {-1, 4, 1000}) {
    block->header.activeSlot = slot;
    EXPECT_EQ(protocol.SendActiveSlot(slot), 0);
    EXPECT_EQ(protocol.SendUploadStart(slot), 0);
    EXPECT_EQ(protocol.SendDialFunction(*block), 0);
    EXPECT_EQ(protocol.SendKeyTable(*block, slot), 0);
    EXPECT_EQ(protocol.SendMacro(*block, slot, 0), 0);
  }
  EXPECT_EQ(protocol.SendMacro(*block, 0, 20), 0);
  EXPECT_EQ(protocol.SendMacro(*block, 0, -1), 0);
  EXPECT_TRUE(device.log.empty());
  EXPECT_FALSE(traces.traces.empty());

  // A full upload with a bad active slot still sends the key tables.
  protocol.ApplyAllSettings(*block, 9);
  EXPECT_EQ(device.Sent().size(), 4u);
  EXPECT_TRUE(traces.Contains(
      u"The active slot of the settings is outside 0..3; the report is not sent\n"));
}

TEST_F(DeviceProtocolTest, MacroOnlyForMacroKeys) {
  EXPECT_EQ(protocol.SendMacro(*block, 0, 0), 1);  // a plain key: nothing to send
  EXPECT_TRUE(device.log.empty());
  MakeMacroKey(1, 2, 0x04);
  EXPECT_EQ(protocol.SendMacro(*block, 1, 2), 1);
  EXPECT_THAT(device.Sent()[0], ::testing::SizeIs(130));
  EXPECT_EQ(device.Sent()[0][3], 23);
  EXPECT_THAT(PollTimes(), ElementsAre(200));
  device.setResult = 0;
  EXPECT_EQ(protocol.SendMacro(*block, 1, 2), 0);
  device.setResult = 1;
  device.statuses = {2};
  EXPECT_EQ(protocol.SendMacro(*block, 1, 2), 0);
  // The action type alone decides: a key of action class 4 (a single key in
  // the key table) gets its macro report too.
  device.log.clear();
  block->slots[1].keys[2].actionClass = 4;
  EXPECT_EQ(protocol.SendMacro(*block, 1, 2), 1);
  ASSERT_EQ(device.Sent().size(), 1u);
  EXPECT_EQ(device.Sent()[0][0], 0x09);
  EXPECT_EQ(device.Sent()[0][3], 23);
  EXPECT_EQ(EncodeKeyEntry(block->slots[1].keys[2], 1, 2)[0], 0x06);
}

TEST_F(DeviceProtocolTest, FullUploadOrderAndTiming) {
  block->header.activeSlot = 1;
  MakeMacroKey(0, 3, 0x10);
  MakeMacroKey(3, 19, 0x11);
  block->header.uploadFlags[1][0] = 1;  // slot 1 key 0 is no macro key: nothing sent
  block->header.uploadFlags[2][5] = 2;  // only 1 marks a macro
  block->slots[2].keys[5].actionType = 3;
  block->header.uploadFlags[4][0] = 1;  // rows and columns beyond the profiles are not read
  block->header.uploadFlags[0][25] = 1;

  EXPECT_EQ(protocol.ApplyAllSettings(*block, 1), 1);
  using P = std::pair<int, std::uint64_t>;
  EXPECT_THAT(Sends(), ElementsAre(P{0x05, 0}, P{0x08, 200}, P{0x08, 500}, P{0x08, 800},
                                   P{0x08, 1100}, P{0x09, 1400}, P{0x09, 1900}));
  EXPECT_THAT(PollTimes(), ElementsAre(100, 400, 700, 1000, 1300, 1600, 2100));
  EXPECT_EQ(clock.now, 2200u);
  auto sent = device.Sent();
  EXPECT_EQ(sent[0][2], 1);
  for (int s = 0; s < 4; ++s) EXPECT_EQ(sent[1 + s][2], s);
  EXPECT_EQ(sent[5][3], 4);   // slot 0 key 3
  EXPECT_EQ(sent[6][3], 80);  // slot 3 key 19

  // The last slot's result is the upload's result.
  device.log.clear();
  device.failingIds = {0x09};
  EXPECT_EQ(protocol.ApplyAllSettings(*block, 1), 0);
  block->header.uploadFlags[3][19] = 0;
  EXPECT_EQ(protocol.ApplyAllSettings(*block, 1), 1);
}

TEST_F(DeviceProtocolTest, AbortStopsMacrosButNotTablesOrPauses) {
  flags.abortTransfer = 1;
  for (int s = 0; s < 4; ++s) {
    for (int k = 0; k < 20; ++k) MakeMacroKey(s, k, 0x04);
  }
  EXPECT_EQ(protocol.ApplyAllSettings(*block, 0), 0);
  // Active slot, four tables, and key 0 of each slot; no poll at all.
  auto sent = device.Sent();
  ASSERT_EQ(sent.size(), 9u);
  for (int s = 0; s < 4; ++s) EXPECT_EQ(sent[5 + s][3], s * 20 + 1);
  EXPECT_EQ(device.Polls(), 0);
  EXPECT_EQ(clock.now, 900u);  // nine pauses of 100 ms
}

}  // namespace
}  // namespace torvo
