#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <set>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "app/device_events.h"
#include "app/main_window_core.h"
#include "device/device_protocol.h"
#include "device/reports.h"
#include "app/presence_tracker.h"
#include "device/upload_worker.h"
#include "settings/settings_model.h"
#include "device_fakes.h"
#include "fakes.h"
#include "hiddriver/control_block.h"
#include "hiddriver/keyboard_state.h"
#include "in_process_keyboard.h"
#include "settings_test_support.h"
#include "window_fakes.h"

namespace torvo {
namespace {

using ::testing::ElementsAre;
using testing::FakeClock;
using testing::FakeDevice;
using testing::InProcessKeyboard;
using Bytes = std::vector<std::uint8_t>;

class UploadWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override { flags.devicePresence = kDevicePresent; }
  // Queues a request as the UI thread does, with a snapshot of the block as
  // it is now; Request also lets the worker take its message.
  void Queue(std::uintptr_t request) {
    ASSERT_TRUE(requests.Post(request, *block, [] { return true; }));
  }
  void Request(std::uintptr_t request, std::intptr_t parameter = 0) {
    Queue(request);
    worker.OnThreadMessage(MSG_WORKER_REQUEST, request, parameter);
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
  WorkerRequests requests;
  UploadWorker worker{protocol, flags, desktop, requests};
  PresenceTracker presence{flags};
  std::unique_ptr<ConfigBlock> block = testing::MakeDeviceTestBlock();
  fakes::TraceRecorder traces;
};

TEST_F(UploadWorkerTest, SwitchSlotSendsOnlyTheSlotInForce) {
  // The report names the slot in force, not the one of the block the
  // request was posted with; the configurator's switch (parameter 3) is not
  // answered.
  desktop.windows[u"Vistrane"] = 77;
  block->header.activeSlot = 1;
  flags.activeSlot = 3;
  Request(REQ_SWITCH_SLOT, 3);
  EXPECT_THAT(device.Sent(), ElementsAre(Bytes{0x05, 4, 3, 4}));
  EXPECT_TRUE(desktop.posts.empty());

  // A full upload queued while the slot was 1 starts on the slot in force.
  Queue(REQ_FULL_UPLOAD);
  flags.activeSlot = 2;
  device.log.clear();
  worker.OnThreadMessage(MSG_WORKER_REQUEST, REQ_FULL_UPLOAD, 0);
  ASSERT_GE(device.Sent().size(), 2u);
  EXPECT_THAT(device.Sent()[0], ElementsAre(0x04, 2, 0xFF, 0, 0, 0, 0, 0));
  EXPECT_THAT(device.Sent()[1], ElementsAre(0x05, 4, 2, 4));
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
    for (unsigned request : {REQ_APPLY, REQ_FULL_UPLOAD, REQ_SWITCH_SLOT}) Request(request);
  }
  flags.devicePresence = kDevicePresent;
  EXPECT_EQ(requests.Pending(), 0u) << "a dropped request leaves nothing queued";
  // Neither another message nor a request message with nothing queued for it
  // (posted by someone else) does anything.
  worker.OnThreadMessage(MSG_WORKER_REQUEST + 1, REQ_FULL_UPLOAD, 0);
  worker.OnThreadMessage(MSG_WORKER_REQUEST, REQ_FULL_UPLOAD, 0);
  Request(9);  // unknown work
  EXPECT_TRUE(device.log.empty());
  EXPECT_TRUE(desktop.posts.empty());
  EXPECT_EQ(flags.workerBusy, 0);
  EXPECT_EQ(requests.Pending(), 0u);
}

TEST_F(UploadWorkerTest, RequestsQueuedBehindShutdownAreDropped) {
  desktop.windows[u"Vistrane"] = 77;
  flags.stopRequested = 1;
  for (unsigned request : {REQ_APPLY, REQ_FULL_UPLOAD, REQ_SWITCH_SLOT}) Request(request);
  EXPECT_TRUE(device.log.empty());
  EXPECT_TRUE(desktop.posts.empty());
  EXPECT_EQ(flags.workerBusy, 0);
  EXPECT_EQ(requests.Pending(), 0u);
}

TEST_F(UploadWorkerTest, EachRequestUploadsTheSnapshotItWasPostedWith) {
  // A full upload and two applies are queued, each after the UI thread
  // changed a macro; one more post fails on the way. The UI thread changes
  // its block again before the worker gets to them. Each request must send
  // its own macro.
  block->slots[0].keys[0].actionType = 3;
  block->slots[0].keys[0].stepCount = 1;
  block->slots[0].keys[0].steps[0] = {0x04, 1, 10};
  block->header.uploadFlags[0][0] = 1;
  Queue(REQ_FULL_UPLOAD);
  block->slots[0].keys[0].steps[0].keyCode = 0x05;
  Queue(REQ_APPLY);
  block->slots[0].keys[0].steps[0].keyCode = 0x06;
  EXPECT_FALSE(requests.Post(REQ_APPLY, *block, [] { return false; }));
  block->slots[0].keys[0].steps[0].keyCode = 0x07;
  Queue(REQ_APPLY);
  block->slots[0].keys[0].steps[0].keyCode = 0x08;  // never posted
  EXPECT_EQ(requests.Pending(), 3u);

  for (unsigned request : {REQ_FULL_UPLOAD, REQ_APPLY, REQ_APPLY}) {
    worker.OnThreadMessage(MSG_WORKER_REQUEST, request, 0);
  }
  std::vector<int> macroKeys;
  for (const auto& r : device.Sent()) {
    if (r[0] == 0x09) macroKeys.push_back(r[kMacroPairsOffset + 1]);
  }
  EXPECT_THAT(macroKeys, ElementsAre(0x04, 0x05, 0x07));
  EXPECT_EQ(requests.Pending(), 0u);

  // A request message with nothing queued for it uploads nothing.
  device.log.clear();
  worker.OnThreadMessage(MSG_WORKER_REQUEST, REQ_APPLY, 0);
  EXPECT_TRUE(device.log.empty());
}

// A thousand applies behind a busy keyboard: the same settings share one
// copy, and a change gets a copy of its own.
TEST(WorkerRequestsTest, UploadsOfTheSameSettingsShareOneCopy) {
  WorkerRequests requests;
  auto block = std::make_unique<ConfigBlock>();
  MakeDefaultBlock(*block);
  for (int i = 0; i < 1000; ++i) requests.Post(REQ_APPLY, *block, [] { return true; });
  block->slots[2].keys[4].keyCodes[0] = 0x2C;
  requests.Post(REQ_APPLY, *block, [] { return true; });
  requests.Post(REQ_SWITCH_SLOT, *block, [] { return true; });
  requests.Post(REQ_FULL_UPLOAD, *block, [] { return true; });
  std::set<const ConfigBlock*> copies;
  while (auto entry = requests.TakeOldest()) {
    if (entry->snapshot != nullptr) copies.insert(entry->snapshot.get());
  }
  EXPECT_EQ(copies.size(), 2u);
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

// ---------------------------------------------------------------------------
// The worker and the main window together, against the virtual keyboard

// One run of the program's two threads on one fake clock: UI events are
// played at random times, during the worker's sleeps (so in the middle of
// its uploads) or while it is idle, among them arrivals with their pause,
// removals (during the pause too), a peer holding the share mutex across
// the pause's end, applies, 1226 and the dial's toggles and clicks. The test
// keeps its own account of what the blocking program would have done: the
// configurator's last block (every write adopted, in order), the keys of the
// last upload and for every macro flagged since the last full upload the
// steps of the last request that flagged it, the dial function the keyboard
// last heard for each slot, and for every removal the notices the
// configurator must have had before its 1042.
class TwoThreadRun final : public MainWindowActions {
 public:
  explicit TwoThreadRun(std::uint32_t seed) : random_(seed) {
    settings.Load();
    shared.Publish(settings.config);
    flags.devicePresence = kDevicePresent;
    keyboard.OpenFeatureDevice();
    flags.activeSlot = settings.config.header.activeSlot;
    written = std::make_unique<ConfigBlock>(settings.config);
    applied = std::make_unique<ConfigBlock>(settings.config);
    desktop.windows[kConfiguratorTitle] = kConfiguratorWindow;
    for (int s = 0; s < kSlotCount; ++s) dialHeard[s] = keyboard.block->model.slots[s].dialFunction;
    PostWorkerRequest(REQ_FULL_UPLOAD, 0);  // timer 502
    for (int i = Int(5, 25); i > 0; --i) clock.At(Int(0, 20000), [this] { PlayEvent(); });
  }

  // Runs both threads until every event was played and the worker is idle,
  // then lets a removed keyboard come back and the worker finish again.
  void Run() {
    Drain();
    // The peer lets the share mutex go.
    shared.busy = false;
    core.RetryPendingCopy();
    if (keyboard.block->plugged == 0) {
      vkb::SetPlugged(*keyboard.block, true, false);
      core.ConnectionChanged(PresenceTracker::kArrived);
    }
    if (arrivalPending) ArrivalPauseElapsed();
    Drain();
  }

  void ShowDialWindow() override {}
  void HideDialWindow() override {}
  void InvalidateDialWindow() override {}
  bool StartOnScreenKeyboard() override { return true; }
  // As the window does: only while the device is open and present.
  bool PostWorkerRequest(std::uintptr_t request, std::intptr_t parameter) override {
    if (flags.devicePresence != kDevicePresent) return false;
    const bool posted = requests.Post(request, settings.config, [&] {
      messages.emplace_back(request, parameter);
      return true;
    });
    // An upload sends the keys it was posted with; a full upload (at start
    // and after an arrival) every macro flagged since.
    if (posted && RequestUploadsSettings(request)) Record(request == REQ_FULL_UPLOAD);
    return posted;
  }
  // The arrival pause is the one timer that matters here; it ends when the
  // run says so.
  void StartTimer(unsigned id, std::uint32_t) override {
    if (id == TIMER_ARRIVAL_PAUSE) arrivalPending = true;
  }
  void StopTimer(unsigned id) override {
    if (id == TIMER_ARRIVAL_PAUSE) arrivalPending = false;
  }
  void OpenFeatureDevice() override { keyboard.OpenFeatureDevice(); }
  void CloseFeatureDevice() override { keyboard.CloseFeatureDevice(); }
  void AddTrayIcon() override {}
  void RemoveTrayIcon() override {}
  void ShowTrayMenu() override {}
  void BringForward(WindowHandle) override {}
  void BringOwnWindowForward() override {}

  int Int(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

  FakeClock clock;  // the worker's: UI events are played during its sleeps
  FakeClock uiClock;
  InProcessKeyboard keyboard{clock};
  DeviceFlags flags;
  Cp1252Converter converter;
  DeviceProtocol workerProtocol{keyboard, clock, flags, converter};
  DeviceProtocol uiProtocol{keyboard, uiClock, flags, converter};
  fakes::RecordingDesktop desktop;
  WorkerRequests requests;
  UploadWorker worker{workerProtocol, flags, desktop, requests};
  std::deque<std::pair<std::uintptr_t, std::intptr_t>> messages;  // the worker's queue
  settings_test::Disk disk;
  fakes::FakeSharedBlock shared;
  SettingsStore settings{disk.env, shared, desktop, nullptr};
  DialState dial;
  SimpleCaseInsensitiveText names;
  MainWindowCore core{{settings, dial, desktop, shared, uiProtocol, flags, *this, names}};
  bool arrivalPending = false;

  static constexpr WindowHandle kConfiguratorWindow = 0x100;
  std::unique_ptr<ConfigBlock> written;        // the configurator's last block
  std::unique_ptr<ConfigBlock> applied;        // its keys are the last applied
  std::map<int, KeyAssignment> flaggedMacros;  // by macro number - 1
  int switchesDuringUploads = 0;
  int classFourMacros = 0;
  // The dial function the keyboard last heard per slot, and the clicks held
  // for the end of the arrival pause (slot, function).
  int dialHeard[kSlotCount] = {};
  std::vector<std::pair<int, int>> clicksHeld;
  // The configurator's notices other than 1256 caused so far, and the count
  // each removal must come after.
  int noticesCaused = 0;
  std::vector<int> noticesBeforeClose;
  int pausesAcrossAHeldMutex = 0;
  int clicksDuringPauses = 0;
  int removalsDuringPauses = 0;

  // The configurator's notices, checked against the account above.
  void CheckConfiguratorNotices() const {
    std::vector<unsigned> received;
    for (const auto& post : desktop.posts) {
      if (post.window == kConfiguratorWindow && post.message != MSG_CFG_APPLY_DONE) {
        received.push_back(post.message);
      }
    }
    std::size_t closes = 0;
    int before = 0;
    for (std::size_t i = 0; i < received.size(); ++i) {
      if (received[i] == MSG_CLOSE) continue;
      if (received[i] != MSG_CFG_CLOSE_NOTICE) {
        ++before;
        continue;
      }
      ASSERT_LT(closes, noticesBeforeClose.size()) << "a 1042 without a removal";
      EXPECT_EQ(before, noticesBeforeClose[closes]) << "removal " << closes;
      ASSERT_LT(i + 1, received.size());
      EXPECT_EQ(received[i + 1], MSG_CLOSE);
      ++closes;
    }
    EXPECT_EQ(closes, noticesBeforeClose.size());
    EXPECT_EQ(before, noticesCaused);
  }

 private:
  void Drain() {
    for (;;) {
      if (!messages.empty()) {
        const auto [request, parameter] = messages.front();
        messages.pop_front();
        worker.OnThreadMessage(MSG_WORKER_REQUEST, request, parameter);
      } else if (!clock.callbacks.empty()) {
        // The worker is idle: time passes until the next event.
        const std::uint64_t next = clock.callbacks.begin()->first;
        clock.SleepMs(static_cast<std::uint32_t>(next > clock.now ? next - clock.now : 0));
      } else {
        return;
      }
    }
  }

  void Record(bool fullUpload) {
    if (fullUpload) flaggedMacros.clear();
    *applied = settings.config;
    for (int s = 0; s < kSlotCount; ++s) {
      for (int k = 0; k < kKeysPerProfile; ++k) {
        const KeyAssignment& key = applied->slots[s].keys[k];
        if (applied->header.uploadFlags[s][k] != 1 || key.actionType != 3) continue;
        flaggedMacros[s * kKeysPerProfile + k] = key;
        classFourMacros += key.actionClass == 4 ? 1 : 0;
      }
    }
  }

  void ArrivalPauseElapsed() {
    pausesAcrossAHeldMutex += shared.busy ? 1 : 0;
    // The clicks held for the pause reach the keyboard after the open.
    for (const auto& [slot, function] : clicksHeld) dialHeard[slot] = function;
    clicksHeld.clear();
    core.TimerElapsed(TIMER_ARRIVAL_PAUSE);
  }

  // The configurator changes some keys, flags macros and perhaps the slot,
  // writes the block and asks for an apply (or a slot switch only).
  void Apply() {
    // The configurator writes the block only once it holds the mutex itself:
    // while a copy of ours waits, it applies what it wrote last.
    if (core.CopyPending()) {
      core.ApplyAllSetting(0);
      return;
    }
    *written = *shared.shared;
    std::memset(written->header.uploadFlags, 0, sizeof(written->header.uploadFlags));
    for (int i = Int(1, 12); i > 0; --i) {
      const int s = Int(0, kSlotCount - 1);
      const int k = Int(0, kKeysPerProfile - 1);
      KeyAssignment& key = written->slots[s].keys[k];
      static constexpr std::uint8_t kTypes[] = {1, 2, 3, 3, 3};
      key.actionType = kTypes[Int(0, 4)];
      key.actionClass = static_cast<std::uint8_t>(Int(0, 3) == 0 ? 4 : 8);
      key.macroIndex = static_cast<std::uint8_t>(Int(0, 255));
      for (std::uint16_t& code : key.keyCodes) code = static_cast<std::uint16_t>(Int(0x04, 0x65));
      key.stepCount = static_cast<std::uint16_t>(Int(0, 8));
      for (int j = 0; j < key.stepCount; ++j) {
        // Pauses of whole 5 ms units up to 635 ms travel exactly.
        key.steps[j] = {static_cast<std::uint8_t>(Int(0x04, 0x65)),
                        static_cast<std::uint8_t>(Int(0, 2)),
                        static_cast<std::uint16_t>(5 * Int(1, 127))};
      }
      written->header.uploadFlags[s][k] = Int(0, 2) == 0 ? 0 : 1;
    }
    if (Int(0, 4) == 0) {
      // Keys changed and announced, not applied.
      *shared.shared = *written;
      core.AdoptChangedSettings();
      return;
    }
    if (Int(0, 2) == 0) written->header.activeSlot = Int(0, kSlotCount - 1);
    *shared.shared = *written;
    core.ApplyAllSetting(static_cast<std::uintptr_t>(Int(0, 3) == 0 ? 3 : Int(0, 1)));
  }

  void PlayEvent() {
    const bool plugged = keyboard.block->plugged != 0;
    const bool present = flags.devicePresence == kDevicePresent;
    // Copies wait, and decisions with them: the slot a click names is the
    // one in force when it is decided, which this account cannot know.
    const bool decidedNow = !core.CopyPending();
    const int what = Int(0, 11);
    switch (what) {
      case 0:
      case 1:
        Apply();
        break;
      case 2:
      case 3:
        // The keyboard switches its own profile: it is there already. (Not
        // while a copy waits: a request the worker serves meanwhile names the
        // slot before the switch, as the blocking program's would, and the
        // keyboard would end on another slot than the settings.)
        if (!plugged || !decidedNow) break;
        switchesDuringUploads += flags.workerBusy == 1 ? 1 : 0;
        {
          const int slot = Int(0, kSlotCount - 1);
          keyboard.block->model.activeSlot = static_cast<std::uint8_t>(slot);
          core.HandleDeviceEvent(DeviceEventCode(0x1000, slot + 1));
          ++noticesCaused;
        }
        break;
      case 4:
        // The foreground application belongs to another slot.
        if (present) {
          core.SwitchActiveSlot(Int(0, kSlotCount - 1));
          ++noticesCaused;
        }
        break;
      case 5:
      case 8:
      case 9:
        // A dial gesture on the device, a click on the dial, or its toggle.
        if (Int(0, 2) == 0) {
          core.HandleDeviceEvent(DeviceEventCode(0x5000, 1));
          core.HandleDeviceEvent(DeviceEventCode(0x6000, 1));
          core.HandleDeviceEvent(DeviceEventCode(0x7000, Int(1, 8)));
          core.HandleDeviceEvent(DeviceEventCode(0x6000, 2));
        } else if (Int(0, 1) == 0) {
          const int function = Int(1, 8);
          const int slot = settings.config.header.activeSlot;
          core.CommitDialFunction(function);
          if (!decidedNow) {
            for (int& heard : dialHeard) heard = -1;  // not known any more
            clicksHeld.clear();
          } else if (core.ArrivalPending()) {
            clicksHeld.emplace_back(slot, function);
            ++clicksDuringPauses;
          } else if (present && plugged) {
            dialHeard[slot] = function;
          }
        } else {
          core.ToggleDial();
          break;
        }
        ++noticesCaused;
        break;
      case 6:
        if (plugged) {
          vkb::SetPlugged(*keyboard.block, false, false);
          const bool closes = present || core.ArrivalPending();
          removalsDuringPauses += core.ArrivalPending() ? 1 : 0;
          clicksHeld.clear();
          core.ConnectionChanged(PresenceTracker::kRemoved);
          if (closes) noticesBeforeClose.push_back(noticesCaused);
        } else {
          vkb::SetPlugged(*keyboard.block, true, false);
          core.ConnectionChanged(PresenceTracker::kArrived);
        }
        break;
      case 7:
        // Another program takes the share mutex, or lets it go.
        shared.busy = !shared.busy;
        if (!shared.busy) core.RetryPendingCopy();
        break;
      default:
        if (arrivalPending) ArrivalPauseElapsed();
        break;
    }
  }

  std::mt19937 random_;
};

// What the keyboard must have understood a key of these settings to do.
void ExpectKeyAction(const vkb::KeyAction& got, const KeyAssignment& key, int slot, int k) {
  using vkb::KeyActionKind;
  const auto lo = [](std::uint16_t code) { return static_cast<std::uint8_t>(code & 0xFF); };
  SCOPED_TRACE("slot " + std::to_string(slot) + " key " + std::to_string(k));
  if (key.actionClass == 4) {
    EXPECT_EQ(got.kind, static_cast<std::uint8_t>(KeyActionKind::kSingleKey));
    EXPECT_EQ(got.value, lo(key.keyCodes[0]));
  } else if (key.actionType == 1) {
    EXPECT_EQ(got.kind, static_cast<std::uint8_t>(KeyActionKind::kPlain));
    EXPECT_EQ(got.code, 1);
  } else if (key.actionType == 2 || key.actionType == 0x30) {
    EXPECT_EQ(got.kind, static_cast<std::uint8_t>(KeyActionKind::kKeys));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(got.keys[i], lo(key.keyCodes[i]));
  } else if (key.actionType == 3) {
    EXPECT_EQ(got.kind, static_cast<std::uint8_t>(KeyActionKind::kMacro));
    EXPECT_EQ(got.value, key.macroIndex);
    EXPECT_EQ(got.macroNumber, slot * kKeysPerProfile + k + 1);
  } else {
    ADD_FAILURE() << "action type " << int{key.actionType} << " is not drawn by this test";
  }
}

// A macro's steps: the pause before step i is the delay of step i - 1 (of
// the last step for step 0).
void ExpectMacro(const vkb::Macro& got, const KeyAssignment& key, int number) {
  SCOPED_TRACE("macro " + std::to_string(number));
  ASSERT_EQ(got.present, 1);
  ASSERT_EQ(got.stepCount, key.stepCount);
  const int n = key.stepCount;
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(got.steps[i].keyCode, key.steps[i].keyCode) << "step " << i;
    EXPECT_EQ(got.steps[i].pressed != 0, key.steps[i].keyState == 1) << "step " << i;
    EXPECT_EQ(got.steps[i].delayMs, key.steps[(i + n - 1) % n].delayMs) << "step " << i;
  }
}

TEST(WorkerAndWindowTest, TheKeyboardEndsWhereTheSettingsSay) {
  int pausesAcrossAHeldMutex = 0;
  int clicksDuringPauses = 0;
  int removalsDuringPauses = 0;
  int switchesDuringUploads = 0;
  int classFourMacros = 0;
  int macrosChecked = 0;
  for (std::uint32_t seed = 1; seed <= 500; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    auto run = std::make_unique<TwoThreadRun>(seed);
    run->Run();
    ASSERT_EQ(run->flags.devicePresence, kDevicePresent);
    ASSERT_EQ(run->flags.workerBusy, 0);
    EXPECT_EQ(run->requests.Pending(), 0u);
    const vkb::KeyboardModel& model = run->keyboard.block->model;
    EXPECT_EQ(model.activeSlot, run->settings.config.header.activeSlot);
    for (int s = 0; s < kSlotCount; ++s) {
      for (int k = 0; k < kKeysPerProfile; ++k) {
        ExpectKeyAction(model.slots[s].actions[k], run->applied->slots[s].keys[k], s, k);
      }
    }
    for (const auto& [index, key] : run->flaggedMacros) {
      ExpectMacro(model.macros[index], key, index + 1);
      ++macrosChecked;
    }
    // Every block the configurator wrote was adopted, in order.
    for (int s = 0; s < kSlotCount; ++s) {
      EXPECT_EQ(std::memcmp(run->settings.config.slots[s].keys, run->written->slots[s].keys,
                            sizeof(run->written->slots[s].keys)),
                0)
          << "slot " << s;
    }
    for (int s = 0; s < kSlotCount; ++s) {
      if (run->dialHeard[s] >= 0) {
        EXPECT_EQ(model.slots[s].dialFunction, run->dialHeard[s]) << s;
      }
    }
    run->CheckConfiguratorNotices();
    pausesAcrossAHeldMutex += run->pausesAcrossAHeldMutex;
    clicksDuringPauses += run->clicksDuringPauses;
    removalsDuringPauses += run->removalsDuringPauses;
    // Reports only ever went wrong by reaching a keyboard that had left.
    for (const vkb::ProtocolError& error : vkb::ProtocolErrors(*run->keyboard.block)) {
      EXPECT_EQ(error.verdict, static_cast<std::uint32_t>(vkb::Verdict::kNotOpen)) << error.text;
    }
    if (HasFailure()) return;
    switchesDuringUploads += run->switchesDuringUploads;
    classFourMacros += run->classFourMacros;
  }
  std::printf("pauses across a held mutex %d, clicks during pauses %d, removals during pauses %d\n",
              pausesAcrossAHeldMutex, clicksDuringPauses, removalsDuringPauses);
  EXPECT_GT(pausesAcrossAHeldMutex, 20);
  EXPECT_GT(clicksDuringPauses, 20);
  EXPECT_GT(removalsDuringPauses, 20);
  EXPECT_GT(switchesDuringUploads, 150);
  EXPECT_GT(classFourMacros, 300);
  EXPECT_GT(macrosChecked, 500);
}

// What the tracker answers, written out.
const Effects kStartPause = {effect::StartTimer(TIMER_ARRIVAL_PAUSE, 8000)};
const Effects kRestOfArrival = {
    effect::Simple(EffectKind::kOpenFeatureDevice), effect::PostWorkerRequest(REQ_FULL_UPLOAD, 0),
    effect::Simple(EffectKind::kAddTrayIcon), effect::StartTimer(TIMER_FOLLOW_FOREGROUND, 2000)};
const Effects kRemoval = {
    effect::Simple(EffectKind::kCloseFeatureDevice), effect::Simple(EffectKind::kRemoveTrayIcon),
    effect::StopTimer(TIMER_FOLLOW_FOREGROUND), effect::PostToConfigurator(MSG_CFG_CLOSE_NOTICE),
    effect::PostToConfigurator(MSG_CLOSE)};

TEST(DevicePresenceTest, TheDeviceCountsAsAbsentUntilOpenedAfterThePause) {
  for (int before : {kDeviceNotOpened, kDeviceRemoved}) {
    DeviceFlags flags;
    flags.devicePresence = before;
    PresenceTracker presence(flags);
    EXPECT_EQ(presence.OnConnectionChange(1), kStartPause);
    EXPECT_EQ(flags.devicePresence, before) << "nothing may be sent during the pause";
    EXPECT_TRUE(presence.OnConnectionChange(1).empty());  // second arrival ignored
    EXPECT_EQ(presence.OnArrivalPauseElapsed(presence.ArrivalNumber()), kRestOfArrival);
    EXPECT_EQ(flags.devicePresence, before);
    presence.OnFeatureDeviceOpened();
    EXPECT_EQ(flags.devicePresence, kDevicePresent);
    EXPECT_TRUE(
        presence.OnArrivalPauseElapsed(presence.ArrivalNumber()).empty());  // a stray timer tick
    EXPECT_TRUE(presence.OnConnectionChange(1).empty());
  }
}

TEST(DevicePresenceTest, RemovalClosesOnceAndAbortsABusyWorker) {
  DeviceFlags flags;
  flags.devicePresence = kDevicePresent;
  PresenceTracker presence(flags);
  EXPECT_EQ(presence.OnConnectionChange(2), kRemoval);
  EXPECT_EQ(flags.abortTransfer, 0);  // the worker was idle
  EXPECT_TRUE(presence.OnConnectionChange(2).empty());

  // From "not opened" a removal still counts; a busy worker is told to stop.
  flags.devicePresence = kDeviceNotOpened;
  flags.workerBusy = 1;
  EXPECT_EQ(presence.OnConnectionChange(2), kRemoval);
  EXPECT_EQ(flags.abortTransfer, 1);
  EXPECT_TRUE(presence.OnConnectionChange(0).empty());
  EXPECT_TRUE(presence.OnConnectionChange(5).empty());
  // Message 1326: wParam 0 is a removal, 1 an arrival, anything else nothing.
  EXPECT_EQ(PresenceTracker::ConnectionValue(0), 2);
  EXPECT_EQ(PresenceTracker::ConnectionValue(1), 1);
  EXPECT_EQ(PresenceTracker::ConnectionValue(5), 0);
  EXPECT_EQ(flags.devicePresence, kDeviceRemoved);
}

TEST(DevicePresenceTest, RemovalDuringTheArrivalPauseEndsTheArrivalAndClosesTheConfigurator) {
  DeviceFlags flags;
  flags.devicePresence = kDeviceNotOpened;
  flags.workerBusy = 1;
  PresenceTracker presence(flags);
  presence.OnConnectionChange(1);
  const unsigned first = presence.ArrivalNumber();
  // Nothing was opened or shown for the device: the pause stops, and the
  // configurator is closed as after every removal.
  Effects expected = {
      effect::StopTimer(TIMER_ARRIVAL_PAUSE),
      effect::TraceText(u"Device removed during the arrival pause; the arrival is cancelled\n"),
      effect::PostToConfigurator(MSG_CFG_CLOSE_NOTICE), effect::PostToConfigurator(MSG_CLOSE)};
  EXPECT_EQ(presence.OnConnectionChange(2), expected);
  EXPECT_EQ(flags.devicePresence, kDeviceRemoved);
  EXPECT_EQ(flags.abortTransfer, 0);
  EXPECT_TRUE(presence.OnArrivalPauseElapsed(first).empty());
  EXPECT_TRUE(presence.OnConnectionChange(2).empty());
  // A later arrival runs whole again; the pause of the first one, ending
  // late, does not end it.
  EXPECT_EQ(presence.OnConnectionChange(1), kStartPause);
  EXPECT_TRUE(presence.OnArrivalPauseElapsed(first).empty());
  EXPECT_EQ(presence.OnArrivalPauseElapsed(presence.ArrivalNumber()), kRestOfArrival);
}

TEST(DevicePresenceTest, TheStartDecidesPresenceAndWhatRuns) {
  DeviceFlags flags;
  flags.devicePresence = kDeviceRemoved;
  PresenceTracker presence(flags);
  const Effects opened = {effect::StartTimer(TIMER_FOLLOW_FOREGROUND, 2000),
                          effect::StartTimer(TIMER_INITIAL_UPLOAD, 200),
                          effect::Simple(EffectKind::kAddTrayIcon),
                          effect::Simple(EffectKind::kOpenConfigurator),
                          effect::TraceText(u"Device opened at start\n")};
  EXPECT_EQ(presence.OpenedAtStart(true, true), opened);
  EXPECT_EQ(flags.devicePresence, kDevicePresent);
  Effects withoutConfigurator = opened;
  withoutConfigurator.erase(withoutConfigurator.begin() + 3);
  EXPECT_EQ(presence.OpenedAtStart(true, false), withoutConfigurator);
  EXPECT_EQ(presence.OpenedAtStart(false, true),
            Effects{effect::TraceText(u"Device not present at start\n")});
  EXPECT_EQ(flags.devicePresence, kDeviceNotOpened);
}

}  // namespace
}  // namespace torvo
