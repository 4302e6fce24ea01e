#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "device/device_protocol.h"
#include "device/upload_worker.h"
#include "device_fakes.h"
#include "fakes.h"

namespace torvo {
namespace {

using ::testing::ElementsAre;
using testing::FakeClock;
using testing::FakeDevice;
using Bytes = std::vector<std::uint8_t>;
using E = PresenceEffect;

class UploadWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    flags.devicePresence = kDevicePresent;
    handover.Publish(*block);
  }
  std::vector<int> SentIds() const {
    std::vector<int> ids;
    for (const auto& r : device.Sent()) ids.push_back(r[0]);
    return ids;
  }
  void MarkAllMacros() {
    for (int s = 0; s < kSlotCount; ++s) {
      for (int k = 0; k < kKeysPerProfile; ++k) {
        KeyAssignment& key = block->slots[s].keys[k];
        key.actionType = 3;
        key.stepCount = 1;
        key.steps[0] = {0x04, 1, 10};
        block->header.uploadFlags[s][k] = 1;
      }
    }
    handover.Publish(*block);
  }

  FakeClock clock;
  FakeDevice device{clock};
  DeviceFlags flags;
  Cp1252Converter converter;
  DeviceProtocol protocol{device, clock, flags, converter};
  fakes::RecordingDesktop desktop;
  ConfigHandover handover;
  UploadWorker worker{protocol, flags, desktop, handover};
  PresenceTracker presence{flags};
  std::unique_ptr<ConfigBlock> block = testing::MakeDeviceTestBlock();
  fakes::TraceRecorder traces;
};

TEST_F(UploadWorkerTest, SwitchSlotSendsOnlyTheActiveSlot) {
  block->header.activeSlot = 3;
  handover.Publish(*block);
  worker.OnThreadMessage(MSG_WORKER_REQUEST, REQ_SWITCH_SLOT);
  EXPECT_THAT(device.Sent(), ElementsAre(Bytes{0x05, 4, 3, 4}));
  EXPECT_TRUE(desktop.posts.empty());
}

TEST_F(UploadWorkerTest, FullUploadIsFramedByUploadStartAndHostState) {
  std::vector<int> busyDuring;
  device.onSet = [&](const testing::ReportRecord&) { busyDuring.push_back(flags.workerBusy); };
  flags.abortTransfer = 1;  // left over from an earlier request: cleared at the start
  worker.OnThreadMessage(MSG_WORKER_REQUEST, REQ_FULL_UPLOAD);
  EXPECT_THAT(SentIds(), ElementsAre(0x04, 0x05, 0x08, 0x08, 0x08, 0x08, 0x10));
  EXPECT_THAT(device.Sent().back(), ElementsAre(0x10, 8, 1, 0, 0, 0, 0, 0));
  EXPECT_EQ(device.Polls(), 7);
  EXPECT_EQ(clock.now, 2000u);  // the protocol's floor for a block without macros
  EXPECT_THAT(busyDuring, ::testing::Each(1));
  EXPECT_EQ(flags.workerBusy, 0);
  EXPECT_TRUE(desktop.posts.empty());  // the configurator is not told
}

TEST_F(UploadWorkerTest, ApplyTellsTheConfiguratorOrTraces) {
  desktop.windows[u"Vistrane"] = 77;
  worker.OnThreadMessage(MSG_WORKER_REQUEST, REQ_APPLY);
  EXPECT_THAT(SentIds(), ElementsAre(0x05, 0x08, 0x08, 0x08, 0x08));
  using Post = fakes::RecordingDesktop::Post;
  EXPECT_THAT(desktop.posts, ElementsAre(Post{77, 1256, 0, 0}));
  EXPECT_THAT(traces.traces, ElementsAre(u"Thread Send Enable OK/Apply Button\n"));

  desktop.windows.clear();
  traces.traces.clear();
  worker.OnThreadMessage(MSG_WORKER_REQUEST, REQ_APPLY);
  EXPECT_EQ(desktop.posts.size(), 1u);
  EXPECT_THAT(traces.traces, ElementsAre(u"OnApplyAllSetting Don't find Mirk Option Dialog\n",
                                         u"Thread Send Enable OK/Apply Button\n"));
}

TEST_F(UploadWorkerTest, RequestsAreDroppedUnlessTheDeviceIsPresent) {
  desktop.windows[u"Vistrane"] = 77;
  for (int state : {kDeviceNotOpened, kDeviceRemoved}) {
    flags.devicePresence = state;
    for (unsigned request : {REQ_APPLY, REQ_FULL_UPLOAD, REQ_SWITCH_SLOT}) {
      worker.OnThreadMessage(MSG_WORKER_REQUEST, request);
    }
  }
  flags.devicePresence = kDevicePresent;
  worker.OnThreadMessage(MSG_WORKER_REQUEST + 1, REQ_FULL_UPLOAD);  // not a request
  worker.OnThreadMessage(MSG_WORKER_REQUEST, 4);                    // unknown work
  EXPECT_TRUE(device.log.empty());
  EXPECT_TRUE(desktop.posts.empty());
  EXPECT_EQ(flags.workerBusy, 0);
}

TEST_F(UploadWorkerTest, RequestsQueuedBehindShutdownAreDropped) {
  desktop.windows[u"Vistrane"] = 77;
  flags.stopRequested = 1;
  for (unsigned request : {REQ_APPLY, REQ_FULL_UPLOAD, REQ_SWITCH_SLOT}) {
    worker.OnThreadMessage(MSG_WORKER_REQUEST, request);
  }
  EXPECT_TRUE(device.log.empty());
  EXPECT_TRUE(desktop.posts.empty());
  EXPECT_EQ(flags.workerBusy, 0);
}

TEST_F(UploadWorkerTest, UploadsTheSnapshotHandedOver) {
  block->slots[1].keys[10].keyCodes[0] = 0x1E;
  handover.Publish(*block);
  // The UI thread changes its block after posting and publishes again while
  // the upload runs: the running upload keeps its own snapshot throughout.
  block->slots[1].keys[10].keyCodes[0] = 0x50;
  bool republished = false;
  device.onSet = [&](const testing::ReportRecord& r) {
    if (r.bytes[0] == 0x08 && !republished) {
      republished = true;
      handover.Publish(*block);
    }
  };
  worker.OnThreadMessage(MSG_WORKER_REQUEST, REQ_APPLY);
  auto sent = device.Sent();
  ASSERT_EQ(sent.size(), 5u);
  EXPECT_EQ(sent[2][55], 0x1E);  // slot 1, key 10

  device.log.clear();
  worker.OnThreadMessage(MSG_WORKER_REQUEST, REQ_APPLY);
  EXPECT_EQ(device.Sent()[2][55], 0x50);  // the next request takes the newer one

  // Nothing published: nothing uploaded.
  device.log.clear();
  worker.Serve(REQ_FULL_UPLOAD, nullptr);
  EXPECT_TRUE(device.log.empty());
}

TEST_F(UploadWorkerTest, RemovalDuringFullUploadAbortsTheRest) {
  MarkAllMacros();
  // Full upload: start 0..100, active slot 100..300, tables until 1500,
  // slot 0's twenty macros until 5500, pause to 5600, slot 1's macros from
  // 5600. The device leaves during the poll of slot 1's key 2.
  clock.At(6050, [this] {
    EXPECT_THAT(presence.OnConnectionChange(2), ::testing::Not(::testing::IsEmpty()));
  });
  worker.OnThreadMessage(MSG_WORKER_REQUEST, REQ_FULL_UPLOAD);

  EXPECT_EQ(flags.devicePresence, kDeviceRemoved);
  EXPECT_EQ(flags.abortTransfer, 1);
  EXPECT_EQ(flags.workerBusy, 0);
  std::vector<std::pair<int, int>> afterRemoval;  // (report ID, macro number)
  for (const auto& r : device.log) {
    if (r.atMs <= 6050) continue;
    EXPECT_TRUE(r.set) << "no poll reads the status after the removal";
    afterRemoval.emplace_back(r.bytes[0], r.bytes[0] == 0x09 ? r.bytes[3] : 0);
  }
  // Slots 2 and 3 send their key 0 macro only, then the host state; the
  // pauses still run: 6100 + 3 x 100.
  EXPECT_THAT(afterRemoval,
              ElementsAre(std::pair(0x09, 41), std::pair(0x09, 61), std::pair(0x10, 0)));
  EXPECT_EQ(clock.now, 6400u);
}

TEST(DevicePresenceTest, ArrivalOpensOnceAfterThePause) {
  DeviceFlags flags;
  PresenceTracker presence(flags);
  EXPECT_THAT(presence.OnConnectionChange(1), ElementsAre(E::kStartArrivalPause));
  EXPECT_EQ(flags.devicePresence, kDevicePresent);
  EXPECT_TRUE(presence.OnConnectionChange(1).empty());  // second arrival ignored
  EXPECT_THAT(presence.OnArrivalPauseElapsed(),
              ElementsAre(E::kOpenFeatureDevice, E::kRequestFullUpload, E::kAddTrayIcon,
                          E::kStartForegroundTimer));
  EXPECT_TRUE(presence.OnArrivalPauseElapsed().empty());  // a stray timer tick
  EXPECT_TRUE(presence.OnConnectionChange(1).empty());
}

TEST(DevicePresenceTest, RemovalClosesOnceAndAbortsABusyWorker) {
  DeviceFlags flags;
  flags.devicePresence = kDevicePresent;
  PresenceTracker presence(flags);
  const std::vector<E> removal = {E::kCloseFeatureDevice, E::kRemoveTrayIcon,
                                  E::kStopForegroundTimer, E::kCloseConfigurator};
  EXPECT_EQ(presence.OnConnectionChange(2), removal);
  EXPECT_EQ(flags.abortTransfer, 0);  // the worker was idle
  EXPECT_TRUE(presence.OnConnectionChange(2).empty());

  // From "not opened" a removal still counts; a busy worker is told to stop.
  flags.devicePresence = kDeviceNotOpened;
  flags.workerBusy = 1;
  EXPECT_EQ(presence.OnConnectionChange(2), removal);
  EXPECT_EQ(flags.abortTransfer, 1);
  EXPECT_TRUE(presence.OnConnectionChange(0).empty());
  EXPECT_TRUE(presence.OnConnectionChange(5).empty());
  // Message 1326: wParam 0 is a removal, 1 an arrival, anything else nothing.
  EXPECT_EQ(PresenceTracker::ConnectionValue(0), 2);
  EXPECT_EQ(PresenceTracker::ConnectionValue(1), 1);
  EXPECT_EQ(PresenceTracker::ConnectionValue(5), 0);
  EXPECT_EQ(flags.devicePresence, kDeviceRemoved);
}

TEST(DevicePresenceTest, RemovalDuringTheArrivalPauseCancelsTheRest) {
  DeviceFlags flags;
  flags.devicePresence = kDeviceRemoved;
  PresenceTracker presence(flags);
  presence.OnConnectionChange(1);
  EXPECT_THAT(presence.OnConnectionChange(2),
              ElementsAre(E::kCancelArrivalPause, E::kCloseFeatureDevice, E::kRemoveTrayIcon,
                          E::kStopForegroundTimer, E::kCloseConfigurator));
  EXPECT_TRUE(presence.OnArrivalPauseElapsed().empty());
  // A later arrival runs whole again.
  EXPECT_THAT(presence.OnConnectionChange(1), ElementsAre(E::kStartArrivalPause));
  EXPECT_EQ(presence.OnArrivalPauseElapsed().size(), 4u);
}

}  // namespace
}  // namespace torvo
