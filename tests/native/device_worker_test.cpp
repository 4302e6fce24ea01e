#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "device/device_protocol.h"
#include "device/reports.h"
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
  void SetUp() override { flags.devicePresence = kDevicePresent; }
  // Posts a request as the UI thread does: with a snapshot of the block as
  // it is now.
  void Request(std::uintptr_t request) {
    worker.OnThreadMessage(MSG_WORKER_REQUEST, request, handover.File(*block));
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
  Request(REQ_SWITCH_SLOT);
  EXPECT_THAT(device.Sent(), ElementsAre(Bytes{0x05, 4, 3, 4}));
  EXPECT_TRUE(desktop.posts.empty());

  // Asked by the configurator's apply: answered as an apply.
  desktop.windows[u"Vistrane"] = 77;
  Request(REQ_APPLY_SLOT_ONLY);
  EXPECT_THAT(device.Sent(), ElementsAre(Bytes{0x05, 4, 3, 4}, Bytes{0x05, 4, 3, 4}));
  using Post = fakes::RecordingDesktop::Post;
  EXPECT_THAT(desktop.posts, ElementsAre(Post{77, 1256, 0, 0}));
}

TEST_F(UploadWorkerTest, FullUploadIsFramedByUploadStartAndHostState) {
  std::vector<int> busyDuring;
  device.onSet = [&](const testing::ReportRecord&) { busyDuring.push_back(flags.workerBusy); };
  flags.abortTransfer = 1;  // left over from an earlier request: cleared at the start
  Request(REQ_FULL_UPLOAD);
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
  Request(REQ_APPLY);
  EXPECT_THAT(SentIds(), ElementsAre(0x05, 0x08, 0x08, 0x08, 0x08));
  using Post = fakes::RecordingDesktop::Post;
  EXPECT_THAT(desktop.posts, ElementsAre(Post{77, 1256, 0, 0}));
  EXPECT_THAT(traces.traces, ElementsAre(u"Thread Send Enable OK/Apply Button\n"));

  desktop.windows.clear();
  traces.traces.clear();
  Request(REQ_APPLY);
  EXPECT_EQ(desktop.posts.size(), 1u);
  EXPECT_THAT(traces.traces, ElementsAre(u"OnApplyAllSetting Don't find Mirk Option Dialog\n",
                                         u"Thread Send Enable OK/Apply Button\n"));
}

TEST_F(UploadWorkerTest, RequestsAreDroppedUnlessTheDeviceIsPresent) {
  desktop.windows[u"Vistrane"] = 77;
  for (int state : {kDeviceNotOpened, kDeviceRemoved}) {
    flags.devicePresence = state;
    for (unsigned request : {REQ_APPLY, REQ_FULL_UPLOAD, REQ_SWITCH_SLOT, REQ_APPLY_SLOT_ONLY}) {
      Request(request);
    }
  }
  flags.devicePresence = kDevicePresent;
  worker.OnThreadMessage(MSG_WORKER_REQUEST + 1, REQ_FULL_UPLOAD, handover.File(*block));
  Request(9);  // unknown work
  EXPECT_TRUE(device.log.empty());
  EXPECT_TRUE(desktop.posts.empty());
  EXPECT_EQ(flags.workerBusy, 0);
}

TEST_F(UploadWorkerTest, RequestsQueuedBehindShutdownAreDropped) {
  desktop.windows[u"Vistrane"] = 77;
  flags.stopRequested = 1;
  for (unsigned request : {REQ_APPLY, REQ_FULL_UPLOAD, REQ_SWITCH_SLOT, REQ_APPLY_SLOT_ONLY}) {
    Request(request);
  }
  EXPECT_TRUE(device.log.empty());
  EXPECT_TRUE(desktop.posts.empty());
  EXPECT_EQ(flags.workerBusy, 0);
}

TEST_F(UploadWorkerTest, EachRequestUploadsTheSnapshotItWasPostedWith) {
  // Two applies are posted while a full upload runs, each after the UI
  // thread changed a macro; the UI thread changes its block again before the
  // worker gets to them. Each apply must send its own macro.
  block->slots[0].keys[0].actionType = 3;
  block->slots[0].keys[0].stepCount = 1;
  block->slots[0].keys[0].steps[0] = {0x04, 1, 10};
  block->header.uploadFlags[0][0] = 1;
  const auto first = handover.File(*block);
  block->slots[0].keys[0].steps[0].keyCode = 0x05;
  const auto second = handover.File(*block);
  block->slots[0].keys[0].steps[0].keyCode = 0x06;
  const auto full = handover.File(*block);
  block->slots[0].keys[0].steps[0].keyCode = 0x07;  // never posted
  EXPECT_EQ(handover.Pending(), 3u);

  worker.OnThreadMessage(MSG_WORKER_REQUEST, REQ_FULL_UPLOAD, full);
  worker.OnThreadMessage(MSG_WORKER_REQUEST, REQ_APPLY, first);
  worker.OnThreadMessage(MSG_WORKER_REQUEST, REQ_APPLY, second);
  std::vector<int> macroKeys;
  for (const auto& r : device.Sent()) {
    if (r[0] == 0x09) macroKeys.push_back(r[kMacroPairsOffset + 1]);
  }
  EXPECT_THAT(macroKeys, ElementsAre(0x06, 0x04, 0x05));
  EXPECT_EQ(handover.Pending(), 0u);

  // A ticket that was never filed (or is taken twice) uploads nothing.
  device.log.clear();
  worker.OnThreadMessage(MSG_WORKER_REQUEST, REQ_APPLY, first);
  worker.OnThreadMessage(MSG_WORKER_REQUEST, REQ_FULL_UPLOAD, 0);
  EXPECT_TRUE(device.log.empty());
}

TEST_F(UploadWorkerTest, DroppedRequestsLeaveNoSnapshotBehind) {
  flags.devicePresence = kDeviceRemoved;
  Request(REQ_APPLY);
  flags.devicePresence = kDevicePresent;
  flags.stopRequested = 1;
  Request(REQ_FULL_UPLOAD);
  EXPECT_EQ(handover.Pending(), 0u);
  EXPECT_TRUE(device.log.empty());
}

TEST_F(UploadWorkerTest, RemovalAsTheWorkerBecomesBusyDropsTheRequest) {
  // The device leaves between the worker's first presence check and its
  // raising workerBusy: the removal found an idle worker and raised no
  // abort, so the worker must notice the removal itself and send nothing.
  worker.SetBusyRaisedObserver([&] {
    if (flags.devicePresence == kDevicePresent) presence.OnConnectionChange(2);
  });
  Request(REQ_FULL_UPLOAD);
  EXPECT_TRUE(device.log.empty());
  EXPECT_EQ(flags.workerBusy, 0);

  // The same for the start of shutdown.
  flags.devicePresence = kDevicePresent;
  worker.SetBusyRaisedObserver([&] { flags.stopRequested = 1; });
  Request(REQ_APPLY);
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
  Request(REQ_FULL_UPLOAD);

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

TEST_F(UploadWorkerTest, AnUploadRunningAtShutdownEndsWithoutPauses) {
  MarkAllMacros();
  // Shutdown starts during slot 0's first macro poll: the abort ends the
  // poll within a slice and the remaining reports follow without pauses.
  clock.At(1550, [this] {
    flags.stopRequested = 1;
    flags.abortTransfer = 1;
  });
  Request(REQ_FULL_UPLOAD);
  std::vector<int> idsAfter;
  for (const auto& r : device.log) {
    if (r.atMs > 1550) idsAfter.push_back(r.bytes[0]);
  }
  EXPECT_THAT(idsAfter, ElementsAre(0x09, 0x09, 0x09, 0x10));
  EXPECT_EQ(clock.now, 1600u);
}

TEST(DevicePresenceTest, TheDeviceCountsAsAbsentUntilOpenedAfterThePause) {
  for (int before : {kDeviceNotOpened, kDeviceRemoved}) {
    DeviceFlags flags;
    flags.devicePresence = before;
    PresenceTracker presence(flags);
    EXPECT_THAT(presence.OnConnectionChange(1), ElementsAre(E::kStartArrivalPause));
    EXPECT_EQ(flags.devicePresence, before) << "nothing may be sent during the pause";
    EXPECT_TRUE(presence.OnConnectionChange(1).empty());  // second arrival ignored
    EXPECT_THAT(presence.OnArrivalPauseElapsed(),
                ElementsAre(E::kOpenFeatureDevice, E::kRequestFullUpload, E::kAddTrayIcon,
                            E::kStartForegroundTimer));
    EXPECT_EQ(flags.devicePresence, before);
    presence.OnFeatureDeviceOpened();
    EXPECT_EQ(flags.devicePresence, kDevicePresent);
    EXPECT_TRUE(presence.OnArrivalPauseElapsed().empty());  // a stray timer tick
    EXPECT_TRUE(presence.OnConnectionChange(1).empty());
  }
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

TEST(DevicePresenceTest, RemovalDuringTheArrivalPauseCancelsTheArrival) {
  DeviceFlags flags;
  flags.devicePresence = kDeviceNotOpened;
  flags.workerBusy = 1;
  PresenceTracker presence(flags);
  presence.OnConnectionChange(1);
  // Nothing was opened or shown for the device: only the pause is cancelled.
  EXPECT_THAT(presence.OnConnectionChange(2), ElementsAre(E::kCancelArrivalPause));
  EXPECT_EQ(flags.devicePresence, kDeviceRemoved);
  EXPECT_EQ(flags.abortTransfer, 0);
  EXPECT_TRUE(presence.OnArrivalPauseElapsed().empty());
  EXPECT_TRUE(presence.OnConnectionChange(2).empty());
  // A later arrival runs whole again.
  EXPECT_THAT(presence.OnConnectionChange(1), ElementsAre(E::kStartArrivalPause));
  EXPECT_EQ(presence.OnArrivalPauseElapsed().size(), 4u);
}

}  // namespace
}  // namespace torvo
