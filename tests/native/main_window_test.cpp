// The main window's decisions on device events, the dial, the configurator's
// messages and the foreground application, checked on their own and carried
// out through the ports on fakes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "app/device_events.h"
#include "app/foreground_switch.h"
#include "app/main_window_core.h"
#include "app/shared_block.h"
#include "app/sibling_messages.h"
#include "core_rig.h"
#include "device_fakes.h"
#include "settings/foreground_rule.h"
#include "settings/settings_model.h"
#include "settings_test_support.h"
#include "window_fakes.h"

namespace torvo {
namespace {

using fakes::Bytes;
using fakes::FakeSharedBlock;
using fakes::FakeWindow;
using settings_test::Disk;
using testing::FakeClock;
using testing::FakeDevice;

constexpr WindowHandle kConfigurator = 0x100;
constexpr WindowHandle kOsd = 0x200;

Effect Publish() {
  return effect::Simple(EffectKind::kPublishConfig);
}
Effect Save() {
  return effect::Simple(EffectKind::kSaveConfig);
}
Effect Invalidate() {
  return effect::Simple(EffectKind::kInvalidateDial);
}

std::unique_ptr<ConfigBlock> DefaultBlock() {
  auto block = std::make_unique<ConfigBlock>();
  MakeDefaultBlock(*block);
  return block;
}

void SetText(char16_t (&field)[250], std::u16string_view text) {
  std::memset(field, 0, sizeof(field));
  std::memcpy(field, text.data(), text.size() * sizeof(char16_t));
}

void SetAppPath(ProfileRecord& record, std::u16string_view path) {
  std::memset(record.appPath, 0, sizeof(record.appPath));
  std::memcpy(record.appPath, path.data(), path.size() * sizeof(char16_t));
}

// Device event codes by what they stand for.
constexpr std::uint32_t Code(std::uint32_t eventClass, std::uint32_t value) {
  return (eventClass << 16) | value;
}
constexpr std::uint32_t ShowDialEvent() {
  return Code(kEventShowHideDial, 1);
}
constexpr std::uint32_t GestureStart() {
  return Code(kEventGesture, 1);
}
constexpr std::uint32_t GestureEnd() {
  return Code(kEventGesture, 2);
}
constexpr std::uint32_t Preview(std::uint32_t function) {
  return Code(kEventPreview, function);
}
constexpr std::uint32_t SlotSwitch(std::uint32_t value) {
  return Code(kEventSlotSwitch, value);
}

bool Has(const Effects& effects, EffectKind kind) {
  for (const Effect& e : effects) {
    if (e.kind == kind) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Device events, decided

class DeviceEventTest : public ::testing::Test {
 protected:
  Effects Event(std::uint32_t eventClass, std::uint32_t value, bool configuratorOpen = true) {
    return On(Code(eventClass, value), configuratorOpen);
  }
  Effects On(std::uint32_t code, bool configuratorOpen = true) {
    return DecideDeviceEvent(code, *config, dial, configuratorOpen);
  }
  ProfileRecord& Active() { return config->slots[config->header.activeSlot]; }

  std::unique_ptr<ConfigBlock> config = DefaultBlock();
  DialState dial;
};

TEST_F(DeviceEventTest, SlotSwitchTakesTheValueFromTheLowHalfOfLParam) {
  const std::uint32_t code = DeviceEventCode(0x1000, 0x00010003);
  EXPECT_EQ(code, 0x10000003u);
  const Effects effects = DecideDeviceEvent(code, *config, dial, true);
  EXPECT_EQ(config->header.activeSlot, 2);
  EXPECT_EQ(effects, (Effects{Publish(), effect::PostToConfigurator(MSG_CFG_PROFILE_CHANGED),
                              effect::PostToOsd(MSG_OSD_SHOW, 40, 0x00020000), Save()}));
}

TEST_F(DeviceEventTest, SlotSwitchRepublishesOnlyForItsMarkerAndOtherwiseOnlySaves) {
  config->header.activeSlot = 1;
  EXPECT_EQ(Event(0x1000, 0x3000),
            (Effects{Publish(), effect::PostToConfigurator(MSG_CFG_PROFILE_CHANGED),
                     effect::PostToOsd(MSG_OSD_SHOW, 40, 0x00010000), Save()}));
  EXPECT_EQ(config->header.activeSlot, 1);
  for (std::uint32_t value : {0u, 5u, 0x0101u, 0xFFFFu}) {
    EXPECT_EQ(Event(0x1000, value), Effects{Save()}) << value;
    EXPECT_EQ(config->header.activeSlot, 1) << value;
  }
  EXPECT_EQ(Event(0x1000, 4)[2], effect::PostToOsd(MSG_OSD_SHOW, 40, 0x00030000));
  EXPECT_EQ(config->header.activeSlot, 3);
}

TEST_F(DeviceEventTest, ReportedValuesAreStoredInTheActiveSlotAndAnnounced) {
  config->header.activeSlot = 2;
  const Effects changed = {Publish(), effect::PostToConfigurator(MSG_CFG_VALUE_CHANGED), Save()};
  EXPECT_EQ(Event(0x2000, 9), Effects{Save()});
  EXPECT_EQ(Event(0x2000, 0), Effects{Save()});
  EXPECT_EQ(Active().eventValue2000, 0);
  EXPECT_EQ(Event(0x2000, 1), changed);
  EXPECT_EQ(Active().eventValue2000, 0);
  EXPECT_EQ(Event(0x2000, 0x0108), changed);  // the high byte is not looked at
  EXPECT_EQ(Active().eventValue2000, 7);
  EXPECT_EQ(Event(0x3000, 0x1234), changed);
  EXPECT_EQ(Active().eventValue3000, 0x34);
  EXPECT_EQ(Event(0x9000, 0xFF), changed);
  EXPECT_EQ(Active().eventValue9000, 0xFF);
  EXPECT_EQ(config->slots[0].eventValue3000, 0);
}

TEST_F(DeviceEventTest, KeyTextGoesToTheHandOffFileBeforeTheDisplayIsTold) {
  KeyAssignment& key = Active().keys[3];
  key.actionClass = 3;
  key.actionType = 2;
  testing::SetLabel(key, u"Hello");
  EXPECT_EQ(Event(0xA000, 3), (Effects{effect::WriteOsdText(u"Hello"),
                                       effect::PostToOsd(MSG_OSD_SHOW, 50, 0), Save()}));
  key.actionClass = 8;
  EXPECT_EQ(Event(0xA000, 3)[0], effect::WriteOsdText(u"Hello"));

  // Other kinds of key, other keys, a high byte: the file is only saved.
  key.actionClass = 4;
  EXPECT_EQ(Event(0xA000, 3), Effects{Save()});
  key.actionClass = 3;
  key.actionType = 3;
  EXPECT_EQ(Event(0xA000, 3), Effects{Save()});
  key.actionType = 2;
  EXPECT_EQ(Event(0xA000, 0x0103), Effects{Save()});
  EXPECT_EQ(Event(0xA000, 20), Effects{Save()});
}

TEST_F(DeviceEventTest, KeyLabelWithoutTerminatorIsReadWithinItsField) {
  KeyAssignment& key = Active().keys[19];
  key.actionClass = 8;
  key.actionType = 2;
  for (auto& c : key.label) c = u'W';
  key.stepCount = 0x4141;  // what follows the label must not leak into the text
  const Effects effects = Event(0xA000, 19);
  ASSERT_FALSE(effects.empty());
  EXPECT_EQ(effects[0].text, std::u16string(99, u'W'));
}

TEST_F(DeviceEventTest, OnScreenKeyboardOnlyForItsValueAndWithTheConfiguratorOpen) {
  EXPECT_EQ(Event(0x4000, 1, true), Effects{effect::Simple(EffectKind::kStartOnScreenKeyboard)});
  EXPECT_TRUE(Event(0x4000, 1, false).empty());
  EXPECT_TRUE(Event(0x4000, 0x0101, true).empty());
  EXPECT_TRUE(Event(0x4000, 2, true).empty());
}

TEST_F(DeviceEventTest, ShowAndHideByTheDeviceTellTheDeviceNothing) {
  EXPECT_EQ(On(ShowDialEvent()), Effects{effect::Simple(EffectKind::kShowDial)});
  EXPECT_EQ(dial.dialShown, 1);
  EXPECT_TRUE(Event(0x5000, 0x0102).empty());
  EXPECT_TRUE(Event(0x5000, 3).empty());
  EXPECT_EQ(dial.dialShown, 1);
  EXPECT_EQ(Event(0x5000, 2), Effects{effect::Simple(EffectKind::kHideDial)});
  EXPECT_EQ(dial.dialShown, 0);
}

TEST_F(DeviceEventTest, GestureCommitsTheLastPreviewOnce) {
  On(ShowDialEvent());
  Active().selectedFunction = 2;
  EXPECT_EQ(On(GestureStart()), Effects{Invalidate()});
  EXPECT_EQ(dial.savedFunction, 2);
  EXPECT_EQ(dial.currentFunction, 0);
  EXPECT_EQ(On(Preview(3)), Effects{Invalidate()});
  EXPECT_EQ(On(Preview(0x0105)), Effects{Invalidate()});  // high byte not looked at
  EXPECT_EQ(dial.previewMode, 1);
  EXPECT_EQ(dial.currentFunction, 5);
  EXPECT_EQ(On(GestureEnd()),
            (Effects{Invalidate(), Publish(), effect::Simple(EffectKind::kSaveProfileFiles),
                     effect::PostToConfigurator(MSG_CFG_SETTINGS_SAVED)}));
  EXPECT_EQ(Active().selectedFunction, 5);
  EXPECT_EQ(dial.previewMode, 0);
}

TEST_F(DeviceEventTest, GestureWithoutPreviewOrEndingOnNoneRestoresTheRememberedFunction) {
  On(ShowDialEvent());
  Active().selectedFunction = 6;
  On(GestureStart());
  Active().selectedFunction = 1;  // changed elsewhere meanwhile
  On(GestureEnd());
  EXPECT_EQ(Active().selectedFunction, 6);
  EXPECT_EQ(dial.currentFunction, 6);

  // A preview of 0 points at none: the dial shows no sector.
  On(GestureStart());
  On(Preview(5));
  EXPECT_EQ(On(Preview(0)), Effects{Invalidate()});
  EXPECT_EQ(dial.currentFunction, 0);
  EXPECT_EQ(dial.previewMode, 1);
  On(GestureEnd());
  EXPECT_EQ(Active().selectedFunction, 6);
  EXPECT_EQ(dial.currentFunction, 6);
  EXPECT_EQ(dial.previewMode, 0);
}

TEST_F(DeviceEventTest, GesturesAndPreviewsWhileHiddenOrOutOfRangeChangeNothing) {
  Active().selectedFunction = 4;
  const DialState before = dial;
  EXPECT_TRUE(On(GestureStart()).empty());
  EXPECT_TRUE(On(Preview(3)).empty());
  EXPECT_TRUE(On(GestureEnd()).empty());
  EXPECT_EQ(Active().selectedFunction, 4);

  On(ShowDialEvent());
  On(GestureStart());
  for (std::uint32_t function : {9u, 0xFFu}) {
    const Effects effects = On(Preview(function));
    EXPECT_EQ(effects.size(), 1u);
    EXPECT_TRUE(Has(effects, EffectKind::kTrace)) << function;
    EXPECT_EQ(dial.previewMode, 0);
    EXPECT_EQ(dial.currentFunction, 0);
  }
  EXPECT_TRUE(Event(0x6000, 3).empty());
  EXPECT_EQ(before.previewMode, 0);
}

TEST_F(DeviceEventTest, ConnectionChangesAndUnknownClasses) {
  // Connection changes are the device presence's: nothing is decided here.
  for (std::uint32_t value : {1u, 2u, 5u}) EXPECT_TRUE(Event(0x7F00, value).empty());
  const ConfigBlock before = *config;
  for (std::uint32_t eventClass : {0x0000u, 0x8000u, 0xB000u, 0x7F01u, 0xFFFFu}) {
    const Effects effects = Event(eventClass, 1);
    ASSERT_EQ(effects.size(), 1u);
    EXPECT_EQ(effects[0].kind, EffectKind::kTrace);
  }
  EXPECT_EQ(std::memcmp(&before, config.get(), sizeof(before)), 0);
  EXPECT_EQ(dial.dialShown, 0);
}

TEST_F(DeviceEventTest, ButtonCommitSetsTheSelectionAndTellsTheDeviceFirst) {
  On(ShowDialEvent());
  On(GestureStart());
  On(Preview(7));
  EXPECT_EQ(DecideCommitDialFunction(4, *config, dial),
            (Effects{effect::SendDialFunction(0, 4), Invalidate(), Publish(),
                     effect::Simple(EffectKind::kSaveProfileFiles),
                     effect::PostToConfigurator(MSG_CFG_SETTINGS_SAVED)}));
  EXPECT_EQ(Active().selectedFunction, 4);
  EXPECT_EQ(dial.currentFunction, 4);
  EXPECT_EQ(dial.previewMode, 0);
  for (int function : {0, 9, -1}) {
    const Effects effects = DecideCommitDialFunction(function, *config, dial);
    EXPECT_FALSE(Has(effects, EffectKind::kSaveProfileFiles)) << function;
  }
  EXPECT_EQ(Active().selectedFunction, 4);
}

TEST_F(DeviceEventTest, ToggleShowsThenHidesWithTheActiveSlotsFunction) {
  config->header.activeSlot = 1;
  Active().selectedFunction = 3;
  const Effects shown = DecideToggleDial(*config, dial);
  EXPECT_EQ(dial.dialShown, 1);
  EXPECT_EQ(dial.currentFunction, 3);
  EXPECT_EQ(shown.front(), effect::Simple(EffectKind::kShowDial));
  EXPECT_EQ(shown.back(), effect::SendHostState(true));
  EXPECT_EQ(DecideToggleDial(*config, dial),
            (Effects{effect::Simple(EffectKind::kHideDial), effect::SendHostState(false)}));
  EXPECT_EQ(dial.dialShown, 0);
  On(ShowDialEvent());
  EXPECT_EQ(DecideHideDialCommand(dial),
            (Effects{effect::Simple(EffectKind::kHideDial), effect::SendHostState(false)}));
  EXPECT_EQ(dial.dialShown, 0);
}

// ---------------------------------------------------------------------------
// The configurator's messages and the shared block, decided

TEST(SiblingMessageTest, ApplyCopiesThenChoosesTheWorkerRequestOnlyWithTheDeviceExpected) {
  EXPECT_EQ(DecideApplyAllSetting(), (Effects{effect::Simple(EffectKind::kAdoptSharedConfig),
                                              effect::PostToOsd(MSG_OSD_SETTINGS_APPLIED, 0, 0)}));
  EXPECT_EQ(DecideApplyRequest(3, true), Effects{effect::PostApplyRequest(REQ_SWITCH_SLOT, 3)});
  EXPECT_EQ(DecideApplyRequest(0, true), Effects{effect::PostApplyRequest(REQ_APPLY, 0)});
  EXPECT_EQ(DecideApplyRequest(7, true), Effects{effect::PostApplyRequest(REQ_APPLY, 7)});
  EXPECT_EQ(DecideApplyRequest(3, false), Effects{effect::Simple(EffectKind::kAnswerApply)});
  EXPECT_EQ(DecideSettingsChanged(), Effects{effect::Simple(EffectKind::kAdoptSharedConfig)});
}

TEST(SharedBlockTest, MutexWaitOutcomes) {
  using W = ShareMutexWait;
  using D = ShareCopyDirection;
  const struct {
    W wait;
    D direction;
    ShareCopy result;
    bool release;
    bool traced;
  } rows[] = {
      {W::kAcquired, D::kPublish, ShareCopy::kCopied, true, false},
      {W::kAcquired, D::kAdopt, ShareCopy::kCopied, true, false},
      // The whole block written over a half-written one; nothing taken from it.
      {W::kAbandoned, D::kPublish, ShareCopy::kCopied, true, true},
      {W::kAbandoned, D::kAdopt, ShareCopy::kSkipped, true, true},
      // Tried again by the caller, who says so once.
      {W::kTimedOut, D::kPublish, ShareCopy::kBusy, false, false},
      {W::kTimedOut, D::kAdopt, ShareCopy::kBusy, false, false},
      {W::kFailed, D::kAdopt, ShareCopy::kSkipped, false, true},
  };
  for (const auto& row : rows) {
    const ShareMutexOutcome outcome = DecideShareMutexWait(row.wait, row.direction);
    const int line = static_cast<int>(&row - rows);
    EXPECT_EQ(outcome.result, row.result) << line;
    EXPECT_EQ(outcome.release, row.release) << line;
    EXPECT_EQ(!outcome.trace.empty(), row.traced) << line;
  }
  EXPECT_FALSE(SharedMappingHoldsBlock(kConfigBlockSize - 1));
  EXPECT_TRUE(SharedMappingHoldsBlock(kConfigBlockSize));
  // One attempt keeps the window answering; the retries come well apart.
  EXPECT_LE(kShareMutexWaitMs, 100u);
  EXPECT_GE(kShareRetryPeriodMs, kShareMutexWaitMs);
}

TEST(SharedBlockTest, AdoptedActiveSlotOutsideItsRangeBecomesZero) {
  fakes::TraceRecorder traces;
  auto block = DefaultBlock();
  for (std::int32_t slot : {0, 3}) {
    block->header.activeSlot = slot;
    EXPECT_TRUE(BoundAdoptedBlock(*block));
    EXPECT_EQ(block->header.activeSlot, slot);
  }
  for (std::int32_t slot : {4, -1, 0x7FFFFFFF}) {
    block->header.activeSlot = slot;
    EXPECT_FALSE(BoundAdoptedBlock(*block));
    EXPECT_EQ(block->header.activeSlot, 0);
  }
  EXPECT_EQ(traces.traces.size(), 3u);
}

// ---------------------------------------------------------------------------
// The foreground application, decided

const SimpleCaseInsensitiveText kNames;

TEST(ForegroundRuleTest, FileNameOfTheTrimmedPathComparedWithoutCase) {
  auto config = DefaultBlock();
  SetAppPath(config->slots[2], u"C:\\Program Files\\Tools\\Editor.EXE");
  EXPECT_EQ(MatchForegroundSlot(*config, u"editor.exe", kNames), 2);
  EXPECT_EQ(MatchForegroundSlot(*config, u"EDITOR.exe", kNames), 2);
  EXPECT_EQ(MatchForegroundSlot(*config, u"C:\\Other\\editor.exe", kNames), 2);
  EXPECT_EQ(MatchForegroundSlot(*config, u"editor", kNames), std::nullopt);
  EXPECT_EQ(MatchForegroundSlot(*config, u"editor.exe2", kNames), std::nullopt);
  EXPECT_EQ(MatchForegroundSlot(*config, u"xeditor.exe", kNames), std::nullopt);
  EXPECT_EQ(MatchForegroundSlot(*config, u"", kNames), std::nullopt);

  SetAppPath(config->slots[2], u" \t D:/games/\u00C9diteur.exe \r\n");
  EXPECT_EQ(MatchForegroundSlot(*config, u"\u00E9DITEUR.EXE", kNames), 2);
  SetAppPath(config->slots[2], u"Z:notepad.exe");
  EXPECT_EQ(MatchForegroundSlot(*config, u"Notepad.exe", kNames), 2);
}

TEST(ForegroundRuleTest, BlankPathsAreEmptyAndTheLowerSlotWins) {
  auto config = DefaultBlock();
  SetAppPath(config->slots[0], u"   \t ");
  SetAppPath(config->slots[1], u"c:\\a\\tool.exe");
  SetAppPath(config->slots[3], u"c:\\b\\TOOL.EXE");
  EXPECT_EQ(MatchForegroundSlot(*config, u"tool.exe", kNames), 1);
  EXPECT_EQ(MatchForegroundSlot(*config, u" ", kNames), std::nullopt);
  // A path filling its whole field, without terminator, is read within it.
  for (auto& c : config->slots[2].appPath) c = u'a';
  std::memcpy(config->slots[2].appPath + 490, u"\\run.exe", 8 * sizeof(char16_t));
  config->slots[2].eventValue9000 = 0x41;
  EXPECT_EQ(MatchForegroundSlot(*config, u"aun.exe", kNames), std::nullopt);
  std::memcpy(config->slots[2].appPath + 492, u"\\run.exe", 8 * sizeof(char16_t));
  EXPECT_EQ(MatchForegroundSlot(*config, u"run.exe", kNames), 2);
}

TEST(ForegroundSwitchTest, MatchSwitchesOnceAndAnUnboundProgramKeepsTheSlot) {
  auto config = DefaultBlock();
  SetAppPath(config->slots[2], u"C:\\Tools\\Editor.EXE");
  const Effects effects = DecideFollowForeground(u"editor.exe", *config, kNames);
  EXPECT_EQ(config->header.activeSlot, 2);
  EXPECT_EQ(effects, (Effects{Publish(), effect::PostWorkerRequest(REQ_SWITCH_SLOT, 0),
                              effect::PostToConfigurator(MSG_CFG_PROFILE_CHANGED),
                              effect::PostToOsd(MSG_OSD_SHOW, 40, 0x00020000)}));
  EXPECT_FALSE(Has(effects, EffectKind::kSaveConfig));
  EXPECT_TRUE(DecideFollowForeground(u"editor.exe", *config, kNames).empty());
  EXPECT_TRUE(DecideFollowForeground(u"other.exe", *config, kNames).empty());
  EXPECT_TRUE(DecideFollowForeground(std::nullopt, *config, kNames).empty());
  EXPECT_EQ(config->header.activeSlot, 2);
}

// ---------------------------------------------------------------------------
// Carried out through the ports

// The shared rig on an in-memory disk, with both peers open, the settings
// loaded and the device present. `prepare` lays out the disk before the
// settings are loaded.
struct DiskHolder {
  explicit DiskHolder(const std::function<void(Disk&)>& prepare) {
    if (prepare) prepare(disk);
  }
  Disk disk;
};
struct CoreRig : DiskHolder, fakes::CoreRig {
  explicit CoreRig(const std::function<void(Disk&)>& prepare = {})
      : DiskHolder(prepare), fakes::CoreRig(disk.env) {
    shared.shared = DefaultBlock();
    desktop.windows[kConfiguratorTitle] = kConfigurator;
    desktop.windows[kOsdTitle] = kOsd;
    settings.Load();
    core.SetOsdDataPath(u"C:\\osd.data");
    flags.devicePresence = kDevicePresent;
    window.config = &settings.config;
  }
  std::vector<unsigned> PostsTo(WindowHandle window) const {
    std::vector<unsigned> messages;
    for (const auto& post : desktop.posts) {
      if (post.window == window) messages.push_back(post.message);
    }
    return messages;
  }
  std::unique_ptr<ConfigBlock> SavedConfig() const {
    const auto& file = disk.files.files.at(settings_test::kConfigPath);
    if (file.size() != sizeof(ConfigBlock)) return nullptr;
    auto saved = std::make_unique<ConfigBlock>();
    std::memcpy(saved.get(), file.data(), sizeof(ConfigBlock));
    return saved;
  }
};

class MainWindowCoreTest : public ::testing::Test, public CoreRig {};

TEST_F(MainWindowCoreTest, ToggleTwiceSendsHostStateShownThenHidden) {
  core.ToggleDial();
  core.ToggleDial();
  const auto sent = device.Sent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], (std::vector<std::uint8_t>{0x10, 0x08, 0x01, 0x01, 0, 0, 0, 0}));
  EXPECT_EQ(sent[1], (std::vector<std::uint8_t>{0x10, 0x08, 0x01, 0x00, 0, 0, 0, 0}));
  EXPECT_EQ(device.Polls(), 2);
  EXPECT_EQ(window.log, (std::vector<std::string>{"show", "invalidate", "hide"}));

  // A report the library refuses is not followed by a readiness poll.
  device.setResult = 0;
  core.HideDial();
  EXPECT_EQ(device.Polls(), 2);

  // A removed device is closed: the dial still shows, hides and commits,
  // but no report goes to it.
  flags.devicePresence = kDeviceRemoved;
  const std::size_t before = device.log.size();
  core.ToggleDial();
  core.CommitDialFunction(2);
  core.HideDial();
  EXPECT_EQ(device.log.size(), before);
  EXPECT_EQ(settings.ActiveProfile().selectedFunction, 2);
}

TEST_F(MainWindowCoreTest, ButtonCommitReportsTheFunctionSavesAndTellsTheConfigurator) {
  settings.config.header.activeSlot = 1;
  core.CommitDialFunction(4);
  const auto sent = device.Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0], (std::vector<std::uint8_t>{0x0B, 0x08, 1, 4, 0, 0, 0, 0}));
  EXPECT_EQ(settings.config.slots[1].selectedFunction, 4);
  EXPECT_EQ(shared.shared->slots[1].selectedFunction, 4);
  EXPECT_EQ(PostsTo(kConfigurator), (std::vector<unsigned>{MSG_CFG_SETTINGS_SAVED}));
  ConfigBlock saved{};
  const auto& file = disk.files.files.at(settings_test::kConfigPath);
  ASSERT_EQ(file.size(), sizeof(saved));
  std::memcpy(&saved, file.data(), sizeof(saved));
  EXPECT_EQ(saved.slots[1].selectedFunction, 4);
}

TEST_F(MainWindowCoreTest, DeviceGestureTellsTheConfiguratorOnce) {
  core.HandleDeviceEvent(ShowDialEvent());
  core.HandleDeviceEvent(GestureStart());
  core.HandleDeviceEvent(Preview(5));
  core.HandleDeviceEvent(GestureEnd());
  EXPECT_EQ(settings.config.slots[0].selectedFunction, 5);
  EXPECT_EQ(dial.previewMode, 0);
  EXPECT_EQ(PostsTo(kConfigurator), (std::vector<unsigned>{MSG_CFG_SETTINGS_SAVED}));
  EXPECT_TRUE(device.Sent().empty());
}

TEST_F(MainWindowCoreTest, SlotSwitchReachesBlockPeersAndFile) {
  core.HandleDeviceEvent(DeviceEventCode(0x1000, 3));
  EXPECT_EQ(shared.shared->header.activeSlot, 2);
  EXPECT_EQ(desktop.posts, (std::vector<fakes::RecordingDesktop::Post>{
                               {kConfigurator, MSG_CFG_PROFILE_CHANGED, 0, 0},
                               {kOsd, MSG_OSD_SHOW, 40, 0x00020000}}));
  EXPECT_EQ(disk.files.files.at(settings_test::kConfigPath)[0], 2);

  // Absent peers: the block and the file still change.
  desktop.windows.clear();
  desktop.posts.clear();
  core.HandleDeviceEvent(DeviceEventCode(0x1000, 1));
  EXPECT_EQ(shared.shared->header.activeSlot, 0);
  EXPECT_EQ(disk.files.files.at(settings_test::kConfigPath)[0], 0);
  EXPECT_TRUE(desktop.posts.empty());
}

TEST_F(MainWindowCoreTest, KeyTextIsWrittenToTheHandOffFile) {
  KeyAssignment& key = settings.config.slots[0].keys[2];
  key.actionClass = 3;
  key.actionType = 2;
  testing::SetLabel(key, u"Copy");
  core.HandleDeviceEvent(0xA0000002);
  ASSERT_EQ(desktop.iniWrites.size(), 1u);
  EXPECT_EQ(desktop.iniWrites[0],
            (std::vector<std::u16string>{u"C:\\osd.data", u"OSDData", u"Message", u"Copy"}));
  EXPECT_EQ(desktop.posts,
            (std::vector<fakes::RecordingDesktop::Post>{{kOsd, MSG_OSD_SHOW, 50, 0}}));
  EXPECT_EQ(shared.publishes, 0);
}

TEST_F(MainWindowCoreTest, ApplyWithTheDevicePresentLeavesTheAnswerToTheWorker) {
  shared.shared->slots[3].eventValue3000 = 77;
  core.ApplyAllSetting(3);
  EXPECT_EQ(settings.config.slots[3].eventValue3000, 77);
  EXPECT_EQ(window.requests,
            (std::vector<std::pair<std::uintptr_t, std::intptr_t>>{{REQ_SWITCH_SLOT, 3}}));
  EXPECT_EQ(PostsTo(kOsd), (std::vector<unsigned>{MSG_OSD_SETTINGS_APPLIED}));
  EXPECT_TRUE(PostsTo(kConfigurator).empty());
}

TEST_F(MainWindowCoreTest, ApplyIsAnsweredAtOnceWhenNoWorkerRequestGoesOut) {
  fakes::TraceRecorder traces;
  flags.devicePresence = kDeviceRemoved;
  core.ApplyAllSetting(0);
  EXPECT_TRUE(window.requests.empty());
  EXPECT_EQ(PostsTo(kConfigurator), (std::vector<unsigned>{MSG_CFG_APPLY_DONE}));
  EXPECT_TRUE(traces.Contains(u"OnApplyAllSetting  Send Enable OK/Apply Button\n"));

  // The device is present but the request cannot be posted.
  flags.devicePresence = kDevicePresent;
  window.acceptRequests = false;
  desktop.posts.clear();
  core.ApplyAllSetting(1);
  EXPECT_EQ(window.requests.size(), 1u);
  EXPECT_EQ(PostsTo(kConfigurator), (std::vector<unsigned>{MSG_CFG_APPLY_DONE}));

  // No configurator: said in the trace, nothing posted to it.
  desktop.windows.erase(kConfiguratorTitle);
  traces.traces.clear();
  core.ApplyAllSetting(0);
  EXPECT_EQ(traces.traces,
            (std::vector<std::u16string>{u"The worker request could not be posted\n",
                                         u"OnApplyAllSetting Don't find Mirk Option Dialog\n",
                                         u"OnApplyAllSetting  Send Enable OK/Apply Button\n"}));
}

TEST_F(MainWindowCoreTest, SettingsChangedAdoptsTheBoundedBlockAndSendsNothing) {
  shared.shared->header.activeSlot = 9;
  shared.shared->slots[0].selectedFunction = 200;
  core.AdoptChangedSettings();
  EXPECT_EQ(settings.config.header.activeSlot, 0);
  EXPECT_EQ(settings.config.slots[0].selectedFunction, 200);  // carried, drawn as none
  EXPECT_TRUE(desktop.posts.empty());
  EXPECT_TRUE(window.requests.empty());
  EXPECT_EQ(shared.publishes, 0);

  // No block: the working settings stay as they were.
  shared.available = false;
  settings.config.header.activeSlot = 2;
  core.AdoptChangedSettings();
  EXPECT_EQ(settings.config.header.activeSlot, 2);
}

TEST_F(MainWindowCoreTest, ForegroundSwitchIsPublishedButNotSaved) {
  SetAppPath(settings.config.slots[1], u"C:\\x\\Game.exe");
  const std::size_t stepsBefore = static_cast<std::size_t>(disk.files.steps());
  core.FollowForegroundApplication(u"GAME.EXE");
  EXPECT_EQ(shared.shared->header.activeSlot, 1);
  EXPECT_EQ(window.requests, (std::vector<std::pair<std::uintptr_t, std::intptr_t>>{{3, 0}}));
  EXPECT_EQ(desktop.posts, (std::vector<fakes::RecordingDesktop::Post>{
                               {kConfigurator, MSG_CFG_PROFILE_CHANGED, 0, 0},
                               {kOsd, MSG_OSD_SHOW, 40, 0x00010000}}));
  EXPECT_EQ(static_cast<std::size_t>(disk.files.steps()), stepsBefore);
  core.FollowForegroundApplication(u"game.exe");
  EXPECT_EQ(window.requests.size(), 1u);
}

TEST_F(MainWindowCoreTest, TheDeviceComesAndGoesThroughTheWindowsTimersAndTray) {
  // Opened at start, with the configurator asked for on the command line.
  core.DeviceOpenedAtStart(true, true);
  EXPECT_EQ(window.log, (std::vector<std::string>{"timer 500 every 2000", "timer 502 every 200",
                                                  "tray icon", "raise 256"}));
  window.log.clear();
  core.TimerElapsed(TIMER_INITIAL_UPLOAD);
  EXPECT_EQ(window.log, std::vector<std::string>{"kill timer 502"});
  EXPECT_EQ(window.requests, (std::vector<std::pair<std::uintptr_t, std::intptr_t>>{{2, 0}}));

  // Removal: the device, the tray icon, the foreground check and the
  // configurator; the on-screen keyboard still starts for the configurator.
  window.log.clear();
  core.HandleDeviceEvent(0x7F000002);
  core.HandleDeviceEvent(0x40000001);
  EXPECT_EQ(desktop.posts,
            (std::vector<fakes::RecordingDesktop::Post>{{kConfigurator, MSG_CFG_CLOSE_NOTICE, 0, 0},
                                                        {kConfigurator, 0x10, 0, 0}}));
  desktop.windows.erase(kConfiguratorTitle);
  core.HandleDeviceEvent(0x40000001);
  core.ConnectionChanged(PresenceTracker::kRemoved);  // removed already
  EXPECT_EQ(window.log,
            (std::vector<std::string>{"close device", "no tray icon", "kill timer 500", "osk"}));

  // Arrival: the pause, then the device opens before anything is asked of it.
  window.log.clear();
  core.ConnectionChanged(PresenceTracker::kArrived);
  EXPECT_EQ(window.log, std::vector<std::string>{"timer 503 every 8000"});
  EXPECT_TRUE(core.ArrivalPending());
  core.TimerElapsed(TIMER_ARRIVAL_PAUSE);
  EXPECT_EQ(window.log,
            (std::vector<std::string>{"timer 503 every 8000", "kill timer 503", "open device",
                                      "tray icon", "timer 500 every 2000"}));
  EXPECT_EQ(window.requests.size(), 2u);
  EXPECT_EQ(flags.devicePresence, kDevicePresent);
  core.TimerElapsed(TIMER_ARRIVAL_PAUSE);  // a stray tick
  EXPECT_EQ(window.requests.size(), 2u);

  // The tray: left button, right button, anything else; the configurator
  // is not running now, so it is started from the program folder.
  window.log.clear();
  core.SetProgramFolder(u"C:\\Torvo\\");
  for (std::intptr_t mouse : {0x0201, 0x0204, 0x0200, 0x0202}) core.TrayNotify(mouse);
  EXPECT_EQ(window.log, (std::vector<std::string>{"raise own", "tray menu"}));
  EXPECT_EQ(desktop.startedPrograms, std::vector<std::u16string>{u"C:\\Torvo\\Config.exe"});
}

// ---------------------------------------------------------------------------
// A share mutex held by another program

using Posts = std::vector<unsigned>;

// Each input, made while the mutex is held, does nothing that depends on its
// copy until the mutex is free and the timer has tried again; then all of it.
TEST(HeldShareMutexTest, WhatDependsOnACopyWaitsForIt) {
  const struct {
    const char* name;
    std::function<void(CoreRig&)> input;
    std::string copies;  // after the release
    Posts configurator;
    Posts osd;
    std::size_t requests;
  } rows[] = {
      {"apply",
       [](CoreRig& r) { r.core.ApplyAllSetting(0); },
       "aA",
       {},
       {MSG_OSD_SETTINGS_APPLIED},
       1},
      {"apply, device absent",
       [](CoreRig& r) {
         r.flags.devicePresence = kDeviceRemoved;
         r.core.ApplyAllSetting(0);
       },
       "aA",
       {MSG_CFG_APPLY_DONE},
       {MSG_OSD_SETTINGS_APPLIED},
       0},
      {"settings changed", [](CoreRig& r) { r.core.AdoptChangedSettings(); }, "aA", {}, {}, 0},
      {"slot switch",
       [](CoreRig& r) { r.core.HandleDeviceEvent(SlotSwitch(2)); },
       "pP",
       {MSG_CFG_PROFILE_CHANGED},
       {MSG_OSD_SHOW},
       0},
      {"reported value",
       [](CoreRig& r) { r.core.HandleDeviceEvent(0x90000007); },
       "pP",
       {MSG_CFG_VALUE_CHANGED},
       {},
       0},
      {"gesture",
       [](CoreRig& r) {
         for (std::uint32_t code : {ShowDialEvent(), GestureStart(), Preview(5), GestureEnd()}) {
           r.core.HandleDeviceEvent(code);
         }
       },
       "pP",
       {MSG_CFG_SETTINGS_SAVED},
       {},
       0},
      {"dial click",
       [](CoreRig& r) { r.core.CommitDialFunction(3); },
       "pP",
       {MSG_CFG_SETTINGS_SAVED},
       {},
       0},
      {"foreground switch",
       [](CoreRig& r) { r.core.SwitchActiveSlot(1); },
       "pP",
       {MSG_CFG_PROFILE_CHANGED},
       {MSG_OSD_SHOW},
       1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    CoreRig rig;
    fakes::TraceRecorder traces;
    const int fileSteps = rig.disk.files.steps();
    rig.shared.busy = true;
    row.input(rig);
    rig.core.RetryPendingCopy();
    EXPECT_TRUE(rig.core.CopyPending());
    EXPECT_EQ(rig.window.timer, std::vector<bool>{true});
    EXPECT_TRUE(rig.desktop.posts.empty());
    EXPECT_TRUE(rig.window.requests.empty());
    EXPECT_EQ(rig.disk.files.steps(), fileSteps) << "no file is written before the copy";

    rig.shared.busy = false;
    rig.core.RetryPendingCopy();
    EXPECT_FALSE(rig.core.CopyPending());
    EXPECT_EQ(rig.window.timer, (std::vector<bool>{true, false}));
    EXPECT_EQ(rig.shared.copies, std::string(2, row.copies[0]) + row.copies.substr(1));
    EXPECT_EQ(rig.PostsTo(kConfigurator), row.configurator);
    EXPECT_EQ(rig.PostsTo(kOsd), row.osd);
    EXPECT_EQ(rig.window.requests.size(), row.requests);
    // The first time-out is said, the retry is not.
    EXPECT_EQ(std::count_if(traces.traces.begin(), traces.traces.end(),
                            [](const std::u16string& t) { return t.find(u"timed out") != t.npos; }),
              1);
  }
}

TEST_F(MainWindowCoreTest, PeersChangeIsAdoptedBeforeLaterInputsAreDecided) {
  shared.shared->slots[0].keys[0].keyCodes[0] = 0x2C;
  SetText(shared.shared->slots[1].name, u"From the configurator");
  shared.busy = true;
  core.AdoptChangedSettings();
  core.HandleDeviceEvent(0x30000005);  // a value from the keyboard
  core.ApplyAllSetting(0);
  core.ConnectionChanged(PresenceTracker::kRemoved);  // the device is let go at once
  EXPECT_EQ(window.log, (std::vector<std::string>{"timer 504 every 100", "close device",
                                                  "no tray icon", "kill timer 500"}));
  // The keyboard is back (its arrival pause is not what this test is about).
  flags.devicePresence = kDevicePresent;
  // The apply is its copy and then its request; the removal's notices wait
  // behind them.
  EXPECT_EQ(core.PendingCount(), 5u);
  for (int tick = 0; tick < 5; ++tick) core.RetryPendingCopy();
  EXPECT_EQ(shared.copies, "aaaaaa");
  EXPECT_TRUE(desktop.posts.empty());

  shared.busy = false;
  core.RetryPendingCopy();
  // The adopt first, the value's publish next, then the apply's adopt: none
  // overtakes another.
  EXPECT_EQ(shared.copies, "aaaaaaAPA");
  EXPECT_EQ(settings.config.slots[0].eventValue3000, 5);
  EXPECT_EQ(std::u16string(settings.config.slots[1].name), u"From the configurator");
  EXPECT_EQ(shared.shared->slots[0].eventValue3000, 5);
  EXPECT_EQ(std::u16string(shared.shared->slots[1].name), u"From the configurator");
  auto saved = SavedConfig();
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(saved->slots[0].eventValue3000, 5);
  EXPECT_EQ(saved->slots[0].keys[0].keyCodes[0], 0x2C);
  // The apply is decided after its copy, on the presence then.
  EXPECT_EQ(window.requestedKeyCodes, std::vector<std::uint16_t>{0x2C});
  // Notices caused before the removal reach the configurator before its 1042.
  EXPECT_EQ(PostsTo(kConfigurator),
            (Posts{MSG_CFG_VALUE_CHANGED, MSG_CFG_CLOSE_NOTICE, MSG_CLOSE}));
}

TEST_F(MainWindowCoreTest, WaitingAdoptsPreviewsAndForegroundChecksCollapse) {
  SetAppPath(settings.config.slots[1], u"C:\\x\\Game.exe");
  SetAppPath(settings.config.slots[2], u"C:\\x\\Tool.exe");
  shared.shared->slots[1] = settings.config.slots[1];
  shared.shared->slots[2] = settings.config.slots[2];
  shared.busy = true;
  core.HandleDeviceEvent(0x90000001);
  core.AdoptChangedSettings();
  core.AdoptChangedSettings();
  core.FollowForegroundApplication(u"game.exe");
  core.HandleDeviceEvent(ShowDialEvent());
  for (std::uint32_t function = 1; function <= 8; ++function) {
    core.HandleDeviceEvent(Preview(function));
  }
  core.FollowForegroundApplication(u"game.exe");
  core.FollowForegroundApplication(u"tool.exe");
  // The value, one adopt, the show, one preview, one check.
  EXPECT_EQ(core.PendingCount(), 5u);
  shared.busy = false;
  core.RetryPendingCopy();
  EXPECT_EQ(dial.currentFunction, 8);
  EXPECT_EQ(dial.previewMode, 1);
  // The check comes last and decides on the newest sample.
  EXPECT_EQ(shared.copies, "pPAP");
  EXPECT_EQ(settings.config.header.activeSlot, 2);
  EXPECT_EQ(window.requests, (std::vector<std::pair<std::uintptr_t, std::intptr_t>>{{3, 0}}));

  // A check that waited does not switch the slot after the device left.
  shared.busy = true;
  core.HandleDeviceEvent(0x90000002);
  core.FollowForegroundApplication(u"game.exe");
  core.ConnectionChanged(PresenceTracker::kRemoved);
  shared.busy = false;
  core.RetryPendingCopy();
  EXPECT_FALSE(core.CopyPending());
  EXPECT_EQ(settings.config.header.activeSlot, 2);
  EXPECT_EQ(window.requests.size(), 1u);
}

TEST_F(MainWindowCoreTest, ExitWhileTheMutexIsHeldKeepsTheChangesInTheFilesOnly) {
  fakes::TraceRecorder traces;
  shared.busy = true;
  core.HandleDeviceEvent(ShowDialEvent());
  core.HandleDeviceEvent(GestureStart());
  core.HandleDeviceEvent(Preview(4));
  core.HandleDeviceEvent(GestureEnd());
  core.HandleDeviceEvent(SlotSwitch(3));
  core.ApplyAllSetting(0);
  const std::size_t windowActions = window.log.size();
  core.FinishPendingAtExit();
  EXPECT_FALSE(core.CopyPending());
  EXPECT_EQ(shared.copies, "pp") << "one last attempt";
  EXPECT_EQ(window.timer, (std::vector<bool>{true, false}));
  auto saved = SavedConfig();
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(saved->header.activeSlot, 2);
  EXPECT_EQ(saved->slots[0].selectedFunction, 4);
  EXPECT_EQ(shared.shared->slots[0].selectedFunction, 1);
  EXPECT_TRUE(desktop.posts.empty());
  EXPECT_TRUE(window.requests.empty());
  // Nothing is shown, hidden or started at exit; only the retry timer stops.
  EXPECT_EQ(window.log.size(), windowActions + 1);
  EXPECT_EQ(window.log.back(), "kill timer 504");
  EXPECT_TRUE(
      traces.Contains(u"The share mutex is still held at exit; what waited for it is "
                      u"saved to the files only\n"));
  // The other windows are still told to close.
  core.CloseSiblingWindows();
  EXPECT_EQ(desktop.posts,
            (std::vector<fakes::RecordingDesktop::Post>{{kConfigurator, MSG_CFG_CLOSE_NOTICE, 0, 0},
                                                        {kConfigurator, 0x10, 0, 0},
                                                        {kOsd, 0x10, 0, 0}}));
}

// ---------------------------------------------------------------------------
// The arrival pause: as if the window had waited for it

using Requests = std::vector<std::pair<std::uintptr_t, std::intptr_t>>;
using Report = std::vector<std::uint8_t>;

Report HostState(std::uint8_t shown) {
  return {0x10, 0x08, 0x01, shown, 0, 0, 0, 0};
}
Report DialFunction(std::uint8_t slot, std::uint8_t function) {
  return {0x0B, 0x08, slot, function, 0, 0, 0, 0};
}

class ArrivalPauseTest : public MainWindowCoreTest {
 protected:
  // The device left earlier and is plugged in again: the pause starts.
  void Arrive() {
    flags.devicePresence = kDeviceRemoved;
    core.ConnectionChanged(PresenceTracker::kArrived);
    ASSERT_TRUE(core.ArrivalPending());
  }
  // During the pause: the dial shown, a sector clicked, an apply, the dial hidden.
  void UseTheDialAndApply() {
    core.ToggleDial();
    core.CommitDialFunction(3);
    shared.shared->slots[0].keys[0].keyCodes[0] = 0x2C;
    core.ApplyAllSetting(0);
    core.HideDial();
  }
};

TEST_F(ArrivalPauseTest, WhatReachesTheDeviceDuringThePauseFollowsTheOpenInOrder) {
  Arrive();
  UseTheDialAndApply();
  // The dial and the settings change at once; the device hears nothing yet,
  // and the apply is not answered before its upload.
  EXPECT_EQ(window.log, (std::vector<std::string>{"timer 503 every 8000", "show", "invalidate",
                                                  "invalidate", "hide"}));
  EXPECT_EQ(settings.config.slots[0].selectedFunction, 3);
  EXPECT_EQ(settings.config.slots[0].keys[0].keyCodes[0], 0x2C);
  EXPECT_EQ(PostsTo(kConfigurator), (Posts{MSG_CFG_SETTINGS_SAVED}));
  EXPECT_TRUE(device.Sent().empty());
  EXPECT_TRUE(window.requests.empty());
  EXPECT_EQ(core.HeldForArrival(), 4u);

  window.log.clear();
  core.TimerElapsed(TIMER_ARRIVAL_PAUSE);
  EXPECT_EQ(window.log, (std::vector<std::string>{"kill timer 503", "open device", "tray icon",
                                                  "timer 500 every 2000"}));
  // The full upload first, then the apply, both with the adopted keys.
  EXPECT_EQ(window.requests, (Requests{{REQ_FULL_UPLOAD, 0}, {REQ_APPLY, 0}}));
  EXPECT_EQ(window.requestedKeyCodes, (std::vector<std::uint16_t>{0x2C, 0x2C}));
  // The reports in the order they were caused, each with its poll.
  EXPECT_EQ(device.Sent(), (std::vector<Report>{HostState(1), DialFunction(0, 3), HostState(0)}));
  EXPECT_EQ(device.Polls(), 3);
  EXPECT_EQ(PostsTo(kConfigurator), (Posts{MSG_CFG_SETTINGS_SAVED}));
  EXPECT_EQ(core.HeldForArrival(), 0u);
}

TEST_F(ArrivalPauseTest, ARemovalDuringThePauseEndsTheArrivalAndClosesTheConfigurator) {
  fakes::TraceRecorder traces;
  Arrive();
  UseTheDialAndApply();
  core.ConnectionChanged(PresenceTracker::kRemoved);
  // Nothing reaches the device; the apply is answered as for an absent
  // device, and the configurator closed after the notices before it.
  EXPECT_EQ(PostsTo(kConfigurator),
            (Posts{MSG_CFG_SETTINGS_SAVED, MSG_CFG_APPLY_DONE, MSG_CFG_CLOSE_NOTICE, MSG_CLOSE}));
  EXPECT_FALSE(core.ArrivalPending());
  EXPECT_EQ(flags.devicePresence, kDeviceRemoved);
  core.TimerElapsed(TIMER_ARRIVAL_PAUSE);  // a tick already queued
  EXPECT_TRUE(device.Sent().empty());
  EXPECT_TRUE(window.requests.empty());
  EXPECT_EQ(std::count(window.log.begin(), window.log.end(), "open device"), 0);
  EXPECT_TRUE(
      traces.Contains(u"Device removed during the arrival pause; the arrival is cancelled\n"));

  // A removal with nothing held still closes the configurator.
  desktop.posts.clear();
  core.ConnectionChanged(PresenceTracker::kArrived);
  core.ConnectionChanged(PresenceTracker::kRemoved);
  EXPECT_EQ(PostsTo(kConfigurator), (Posts{MSG_CFG_CLOSE_NOTICE, MSG_CLOSE}));
}

TEST_F(ArrivalPauseTest, UploadsWaitForTheCopiesAskedBeforeThem) {
  // The start-up upload waits for an adopt that waits for the mutex.
  shared.shared->slots[0].keys[0].keyCodes[0] = 0x2B;
  shared.busy = true;
  core.AdoptChangedSettings();
  core.TimerElapsed(TIMER_INITIAL_UPLOAD);
  EXPECT_TRUE(window.requests.empty());
  shared.busy = false;
  core.RetryPendingCopy();
  EXPECT_EQ(window.requests, (Requests{{REQ_FULL_UPLOAD, 0}}));
  EXPECT_EQ(window.requestedKeyCodes, std::vector<std::uint16_t>{0x2B});

  // An apply whose copy waits while the pause ends: decided after its copy,
  // so it uploads after the full upload, and neither answers at once.
  window.requests.clear();
  window.requestedKeyCodes.clear();
  Arrive();
  shared.shared->slots[0].keys[0].keyCodes[0] = 0x2C;
  shared.busy = true;
  core.ApplyAllSetting(0);
  core.TimerElapsed(TIMER_ARRIVAL_PAUSE);
  core.RetryPendingCopy();
  EXPECT_TRUE(window.requests.empty());
  shared.busy = false;
  core.RetryPendingCopy();
  EXPECT_EQ(window.requests, (Requests{{REQ_FULL_UPLOAD, 0}, {REQ_APPLY, 0}}));
  EXPECT_EQ(window.requestedKeyCodes, (std::vector<std::uint16_t>{0x2C, 0x2C}));
  EXPECT_TRUE(PostsTo(kConfigurator).empty());
  EXPECT_EQ(flags.devicePresence, kDevicePresent);
}

TEST_F(ArrivalPauseTest, AtExitWhatWasHeldIsDroppedAndNoApplyIsAnswered) {
  fakes::TraceRecorder traces;
  Arrive();
  UseTheDialAndApply();
  core.FinishPendingAtExit();
  core.CloseSiblingWindows();
  EXPECT_TRUE(device.Sent().empty());
  EXPECT_TRUE(window.requests.empty());
  EXPECT_EQ(PostsTo(kConfigurator),
            (Posts{MSG_CFG_SETTINGS_SAVED, MSG_CFG_CLOSE_NOTICE, MSG_CLOSE}));
  EXPECT_TRUE(
      traces.Contains(u"At exit the device has not been opened after its arrival; what "
                      u"was held for it is dropped\n"));
}

// ---------------------------------------------------------------------------
// The queue's failures and bounds

TEST_F(MainWindowCoreTest, AnInputThatThrowsIsDroppedAndTheQueueGoesOn) {
  fakes::TraceRecorder traces;
  // At once: the switch's publish throws; the next input is carried out.
  shared.throwNext = true;
  core.HandleDeviceEvent(SlotSwitch(2));
  core.HandleDeviceEvent(0x90000003);
  EXPECT_EQ(PostsTo(kConfigurator), (Posts{MSG_CFG_VALUE_CHANGED}));
  EXPECT_EQ(shared.shared->slots[1].eventValue9000, 3);
  EXPECT_EQ(traces.traces.front().find(u"An exception ended an input"), 0u);

  // Behind a held mutex: the failing head is dropped, the rest carried out.
  desktop.posts.clear();
  shared.busy = true;
  core.HandleDeviceEvent(SlotSwitch(3));
  core.ApplyAllSetting(0);
  shared.busy = false;
  shared.throwNext = true;
  core.RetryPendingCopy();
  EXPECT_FALSE(core.CopyPending());
  EXPECT_EQ(window.timer, (std::vector<bool>{true, false}));
  EXPECT_EQ(PostsTo(kOsd), (Posts{MSG_OSD_SETTINGS_APPLIED}));
  EXPECT_EQ(window.requests.size(), 1u);
}

// A peer holds the mutex for an hour while the keyboard's dial is used:
// every 5 s the dial is shown, a gesture points at functions twenty times
// and commits; the foreground is checked every 2 s; the configurator says
// every 10 s that it changed the settings. Only what changes the result is
// kept: four inputs per gesture and one check.
TEST_F(MainWindowCoreTest, AnHourBehindAHeldMutexKeepsOnlyWhatChangesTheResult) {
  shared.busy = true;
  constexpr int kSeconds = 3600;
  for (int second = 0; second < kSeconds; ++second) {
    if (second % 5 == 0) {
      core.HandleDeviceEvent(ShowDialEvent());
      core.HandleDeviceEvent(GestureStart());
      for (std::uint32_t i = 0; i < 20; ++i) core.HandleDeviceEvent(Preview(1 + i % 8));
      core.HandleDeviceEvent(GestureEnd());
    }
    if (second % 2 == 0) core.FollowForegroundApplication(u"game.exe");
    if (second % 10 == 0) core.AdoptChangedSettings();
  }
  const std::size_t gestures = kSeconds / 5;
  const std::size_t adopts = kSeconds / 10;
  // The first gesture's show, start and previews needed no copy and were
  // carried out at once.
  EXPECT_EQ(core.PendingCount(), 4 * gestures + adopts + 1 - 3);
  shared.busy = false;
  core.RetryPendingCopy();
  EXPECT_FALSE(core.CopyPending());
  EXPECT_EQ(PostsTo(kConfigurator).size(), gestures);
}

TEST_F(MainWindowCoreTest, ASaveRefusedByAReaderIsRetriedOnItsTimerUntilItLands) {
  const Bytes before = disk.files.files.at(settings_test::kConfigPath);
  disk.files.held.insert(settings_test::kConfigPath);
  core.HandleDeviceEvent(0x30000042);
  // Announced as ever: the block tells the other programs.
  EXPECT_EQ(PostsTo(kConfigurator), std::vector<unsigned>{1257});
  EXPECT_EQ(disk.files.files.at(settings_test::kConfigPath), before);
  EXPECT_EQ(window.log, std::vector<std::string>{"timer 505 every 250"});

  core.TimerElapsed(TIMER_SAVE_RETRY);
  EXPECT_EQ(disk.files.files.at(settings_test::kConfigPath), before);
  disk.files.held.clear();
  core.TimerElapsed(TIMER_SAVE_RETRY);
  auto saved = SavedConfig();
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(saved->slots[0].eventValue3000, 0x42);
  EXPECT_EQ(window.log, (std::vector<std::string>{"timer 505 every 250", "kill timer 505"}));
}

TEST(StandInSettingsTest, AnUnreadableConfigIsWrittenOnlyOnceTheConfiguratorHandsABlockOver) {
  Bytes userConfig;
  Bytes userLibrary;
  CoreRig rig([&](Disk& disk) {
    auto block = DefaultBlock();
    block->slots[0].selectedFunction = 7;
    userConfig = settings_test::ImageOf(*block);
    userLibrary = settings_test::ImageOf(block->slots[0]);
    disk.files.files[settings_test::kConfigPath] = userConfig;
    disk.files.files[settings_test::kLibraryPath] = userLibrary;
    disk.files.unreadable.insert(settings_test::kConfigPath);
  });
  auto& files = rig.disk.files.files;
  rig.core.CommitDialFunction(4);
  rig.core.HandleDeviceEvent(0x30000042);
  EXPECT_EQ(files.at(settings_test::kConfigPath), userConfig);
  EXPECT_EQ(files.at(settings_test::kLibraryPath), userLibrary);
  EXPECT_EQ(rig.PostsTo(kConfigurator), (std::vector<unsigned>{1254, 1257}));

  // The configurator's block is the user's: from now on it is saved.
  rig.shared.shared->slots[0].selectedFunction = 7;
  rig.core.AdoptChangedSettings();
  rig.core.CommitDialFunction(6);
  auto saved = rig.SavedConfig();
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(saved->slots[0].selectedFunction, 6);
  EXPECT_EQ(files.at(settings_test::kLibraryPath)[1548], 6);
}

}  // namespace
}  // namespace torvo
