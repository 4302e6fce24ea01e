// The main window's decisions on device events, the dial, the configurator's
// messages and the foreground application, checked on their own and carried
// out through the ports on fakes.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "app/device_events.h"
#include "app/foreground_switch.h"
#include "app/main_window_core.h"
#include "app/shared_block.h"
#include "app/sibling_messages.h"
#include "device_fakes.h"
#include "settings/foreground_rule.h"
#include "settings/settings_model.h"
#include "settings_test_support.h"

namespace torvo {
namespace {

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

void SetAppPath(ProfileRecord& record, std::u16string_view path) {
  std::memset(record.appPath, 0, sizeof(record.appPath));
  std::memcpy(record.appPath, path.data(), path.size() * sizeof(char16_t));
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
    return HandleDeviceEvent((eventClass << 16) | value, *config, dial, configuratorOpen);
  }
  ProfileRecord& Active() { return config->slots[config->header.activeSlot]; }

  std::unique_ptr<ConfigBlock> config = DefaultBlock();
  DialState dial;
};

TEST_F(DeviceEventTest, SlotSwitchTakesTheValueFromTheLowHalfOfLParam) {
  const std::uint32_t code = DeviceEventCode(0x1000, 0x00010003);
  EXPECT_EQ(code, 0x10000003u);
  const Effects effects = HandleDeviceEvent(code, *config, dial, true);
  EXPECT_EQ(config->header.activeSlot, 2);
  EXPECT_EQ(effects, (Effects{Publish(), effect::PostToConfigurator(1255),
                              effect::PostToOsd(1324, 40, 0x00020000), Save()}));
}

TEST_F(DeviceEventTest, SlotSwitchRepublishesOnlyForItsMarkerAndOtherwiseOnlySaves) {
  config->header.activeSlot = 1;
  EXPECT_EQ(Event(0x1000, 0x3000), (Effects{Publish(), effect::PostToConfigurator(1255),
                                            effect::PostToOsd(1324, 40, 0x00010000), Save()}));
  EXPECT_EQ(config->header.activeSlot, 1);
  for (std::uint32_t value : {0u, 5u, 0x0101u, 0xFFFFu}) {
    EXPECT_EQ(Event(0x1000, value), Effects{Save()}) << value;
    EXPECT_EQ(config->header.activeSlot, 1) << value;
  }
  EXPECT_EQ(Event(0x1000, 4)[2], effect::PostToOsd(1324, 40, 0x00030000));
  EXPECT_EQ(config->header.activeSlot, 3);
}

TEST_F(DeviceEventTest, ReportedValuesAreStoredInTheActiveSlotAndAnnounced) {
  config->header.activeSlot = 2;
  const Effects changed = {Publish(), effect::PostToConfigurator(1257), Save()};
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
  EXPECT_EQ(Event(0xA000, 3),
            (Effects{effect::WriteOsdText(u"Hello"), effect::PostToOsd(1324, 50, 0), Save()}));
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
  EXPECT_EQ(Event(0x5000, 1), Effects{effect::Simple(EffectKind::kShowDial)});
  EXPECT_EQ(dial.dialShown, 1);
  EXPECT_TRUE(Event(0x5000, 0x0102).empty());
  EXPECT_TRUE(Event(0x5000, 3).empty());
  EXPECT_EQ(dial.dialShown, 1);
  EXPECT_EQ(Event(0x5000, 2), Effects{effect::Simple(EffectKind::kHideDial)});
  EXPECT_EQ(dial.dialShown, 0);
}

TEST_F(DeviceEventTest, GestureCommitsTheLastPreviewOnce) {
  Event(0x5000, 1);
  Active().selectedFunction = 2;
  EXPECT_EQ(Event(0x6000, 1), Effects{Invalidate()});
  EXPECT_EQ(dial.savedFunction, 2);
  EXPECT_EQ(dial.currentFunction, 0);
  EXPECT_EQ(Event(0x7000, 3), Effects{Invalidate()});
  EXPECT_EQ(Event(0x7000, 0x0105), Effects{Invalidate()});  // high byte not looked at
  EXPECT_EQ(dial.previewMode, 1);
  EXPECT_EQ(dial.currentFunction, 5);
  EXPECT_EQ(Event(0x6000, 2),
            (Effects{Invalidate(), effect::Simple(EffectKind::kSaveActiveProfile)}));
  EXPECT_EQ(Active().selectedFunction, 5);
  EXPECT_EQ(dial.previewMode, 0);
}

TEST_F(DeviceEventTest, GestureWithoutPreviewRestoresTheRememberedFunction) {
  Event(0x5000, 1);
  Active().selectedFunction = 6;
  Event(0x6000, 1);
  Active().selectedFunction = 1;  // changed elsewhere meanwhile
  Event(0x6000, 2);
  EXPECT_EQ(Active().selectedFunction, 6);
  EXPECT_EQ(dial.currentFunction, 6);
}

TEST_F(DeviceEventTest, GesturesAndPreviewsWhileHiddenOrOutOfRangeChangeNothing) {
  Active().selectedFunction = 4;
  const DialState before = dial;
  EXPECT_TRUE(Event(0x6000, 1).empty());
  EXPECT_TRUE(Event(0x7000, 3).empty());
  EXPECT_TRUE(Event(0x6000, 2).empty());
  EXPECT_EQ(Active().selectedFunction, 4);

  Event(0x5000, 1);
  Event(0x6000, 1);
  for (std::uint32_t function : {0u, 9u, 0xFFu}) {
    const Effects effects = Event(0x7000, function);
    EXPECT_EQ(effects.size(), 1u);
    EXPECT_TRUE(Has(effects, EffectKind::kTrace)) << function;
    EXPECT_EQ(dial.previewMode, 0);
    EXPECT_EQ(dial.currentFunction, 0);
  }
  EXPECT_TRUE(Event(0x6000, 3).empty());
  EXPECT_EQ(before.previewMode, 0);
}

TEST_F(DeviceEventTest, ConnectionChangesAndUnknownClasses) {
  EXPECT_EQ(Event(0x7F00, 1), Effects{effect::ConnectionChange(1)});
  EXPECT_EQ(Event(0x7F00, 2), Effects{effect::ConnectionChange(2)});
  EXPECT_TRUE(Event(0x7F00, 5).empty());
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
  Event(0x5000, 1);
  Event(0x6000, 1);
  Event(0x7000, 7);
  EXPECT_EQ(CommitDialFunction(4, *config, dial),
            (Effects{effect::Simple(EffectKind::kSendDialFunction), Invalidate(),
                     effect::Simple(EffectKind::kSaveActiveProfile)}));
  EXPECT_EQ(Active().selectedFunction, 4);
  EXPECT_EQ(dial.currentFunction, 4);
  EXPECT_EQ(dial.previewMode, 0);
  for (int function : {0, 9, -1}) {
    const Effects effects = CommitDialFunction(function, *config, dial);
    EXPECT_FALSE(Has(effects, EffectKind::kSaveActiveProfile)) << function;
  }
  EXPECT_EQ(Active().selectedFunction, 4);
}

TEST_F(DeviceEventTest, ToggleShowsThenHidesWithTheActiveSlotsFunction) {
  config->header.activeSlot = 1;
  Active().selectedFunction = 3;
  const Effects shown = OnToggleDial(*config, dial);
  EXPECT_EQ(dial.dialShown, 1);
  EXPECT_EQ(dial.currentFunction, 3);
  EXPECT_EQ(shown.front(), effect::Simple(EffectKind::kShowDial));
  EXPECT_EQ(shown.back(), effect::SendHostState(true));
  EXPECT_EQ(OnToggleDial(*config, dial),
            (Effects{effect::Simple(EffectKind::kHideDial), effect::SendHostState(false)}));
  EXPECT_EQ(dial.dialShown, 0);
  Event(0x5000, 1);
  EXPECT_EQ(OnHideDial(dial),
            (Effects{effect::Simple(EffectKind::kHideDial), effect::SendHostState(false)}));
  EXPECT_EQ(dial.dialShown, 0);
}

// ---------------------------------------------------------------------------
// The configurator's messages and the shared block, decided

TEST(SiblingMessageTest, ApplyChoosesTheWorkerRequestOnlyWithTheDevicePresent) {
  const Effects switchOnly = OnApplyAllSetting(3, kDevicePresent);
  EXPECT_EQ(switchOnly,
            (Effects{effect::Simple(EffectKind::kAdoptSharedConfig), effect::PostToOsd(1327, 0, 0),
                     effect::PostWorkerRequest(REQ_SWITCH_SLOT, 3)}));
  EXPECT_EQ(OnApplyAllSetting(0, kDevicePresent).back(), effect::PostWorkerRequest(REQ_APPLY, 0));
  EXPECT_EQ(OnApplyAllSetting(7, kDevicePresent).back(), effect::PostWorkerRequest(REQ_APPLY, 7));
  for (int presence : {kDeviceNotOpened, kDeviceRemoved}) {
    EXPECT_FALSE(Has(OnApplyAllSetting(3, presence), EffectKind::kPostWorkerRequest));
  }
  EXPECT_EQ(OnSettingsChanged(), Effects{effect::Simple(EffectKind::kAdoptSharedConfig)});
}

TEST(SharedBlockTest, MutexWaitOutcomes) {
  const ShareMutexOutcome acquired = DecideShareMutexWait(ShareMutexWait::kAcquired);
  EXPECT_TRUE(acquired.copy && acquired.release);
  const ShareMutexOutcome abandoned = DecideShareMutexWait(ShareMutexWait::kAbandoned);
  EXPECT_FALSE(abandoned.copy);
  EXPECT_TRUE(abandoned.release);
  for (ShareMutexWait wait : {ShareMutexWait::kTimedOut, ShareMutexWait::kFailed}) {
    const ShareMutexOutcome outcome = DecideShareMutexWait(wait);
    EXPECT_FALSE(outcome.copy || outcome.release);
    EXPECT_FALSE(outcome.trace.empty());
  }
  EXPECT_FALSE(SharedMappingHoldsBlock(kConfigBlockSize - 1));
  EXPECT_TRUE(SharedMappingHoldsBlock(kConfigBlockSize));
  EXPECT_GE(kShareMutexWaitMs, 1000u);
  EXPECT_LE(kShareMutexWaitMs, 4000u);
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

TEST(ForegroundRuleTest, FileNameOfTheTrimmedPathComparedWithoutCase) {
  auto config = DefaultBlock();
  SetAppPath(config->slots[2], u"C:\\Program Files\\Tools\\Editor.EXE");
  EXPECT_EQ(MatchForegroundSlot(*config, u"editor.exe"), 2);
  EXPECT_EQ(MatchForegroundSlot(*config, u"EDITOR.exe"), 2);
  EXPECT_EQ(MatchForegroundSlot(*config, u"C:\\Other\\editor.exe"), 2);
  EXPECT_EQ(MatchForegroundSlot(*config, u"editor"), std::nullopt);
  EXPECT_EQ(MatchForegroundSlot(*config, u"editor.exe2"), std::nullopt);
  EXPECT_EQ(MatchForegroundSlot(*config, u"xeditor.exe"), std::nullopt);
  EXPECT_EQ(MatchForegroundSlot(*config, u""), std::nullopt);

  SetAppPath(config->slots[2], u" \t D:/games/\u00C9diteur.exe \r\n");
  EXPECT_EQ(MatchForegroundSlot(*config, u"\u00E9DITEUR.EXE"), 2);
  SetAppPath(config->slots[2], u"Z:notepad.exe");
  EXPECT_EQ(MatchForegroundSlot(*config, u"Notepad.exe"), 2);
}

TEST(ForegroundRuleTest, BlankPathsAreEmptyAndTheLowerSlotWins) {
  auto config = DefaultBlock();
  SetAppPath(config->slots[0], u"   \t ");
  SetAppPath(config->slots[1], u"c:\\a\\tool.exe");
  SetAppPath(config->slots[3], u"c:\\b\\TOOL.EXE");
  EXPECT_EQ(MatchForegroundSlot(*config, u"tool.exe"), 1);
  EXPECT_EQ(MatchForegroundSlot(*config, u" "), std::nullopt);
  // A path filling its whole field, without terminator, is read within it.
  for (auto& c : config->slots[2].appPath) c = u'a';
  std::memcpy(config->slots[2].appPath + 490, u"\\run.exe", 8 * sizeof(char16_t));
  config->slots[2].eventValue9000 = 0x41;
  EXPECT_EQ(MatchForegroundSlot(*config, u"aun.exe"), std::nullopt);
  std::memcpy(config->slots[2].appPath + 492, u"\\run.exe", 8 * sizeof(char16_t));
  EXPECT_EQ(MatchForegroundSlot(*config, u"run.exe"), 2);
}

TEST(ForegroundSwitchTest, MatchSwitchesOnceAndAnUnboundProgramKeepsTheSlot) {
  auto config = DefaultBlock();
  SetAppPath(config->slots[2], u"C:\\Tools\\Editor.EXE");
  const Effects effects = FollowForegroundApplication(u"editor.exe", *config);
  EXPECT_EQ(config->header.activeSlot, 2);
  EXPECT_EQ(effects,
            (Effects{Publish(), effect::PostWorkerRequest(REQ_SWITCH_SLOT, 0),
                     effect::PostToConfigurator(1255), effect::PostToOsd(1324, 40, 0x00020000)}));
  EXPECT_FALSE(Has(effects, EffectKind::kSaveConfig));
  EXPECT_TRUE(FollowForegroundApplication(u"editor.exe", *config).empty());
  EXPECT_TRUE(FollowForegroundApplication(u"other.exe", *config).empty());
  EXPECT_TRUE(FollowForegroundApplication(std::nullopt, *config).empty());
  EXPECT_EQ(config->header.activeSlot, 2);
}

// ---------------------------------------------------------------------------
// Carried out through the ports

class FakeSharedBlock final : public SharedBlockPort {
 public:
  bool Publish(const ConfigBlock& block) override {
    ++publishes;
    if (!available) return false;
    std::memcpy(shared.get(), &block, sizeof(block));
    return true;
  }
  bool Adopt(ConfigBlock& config) override {
    ++adopts;
    if (!available) return false;
    std::memcpy(&config, shared.get(), sizeof(config));
    return true;
  }
  std::unique_ptr<ConfigBlock> shared = DefaultBlock();
  bool available = true;
  int publishes = 0;
  int adopts = 0;
};

class FakeWindow final : public MainWindowActions {
 public:
  void ShowDialWindow() override { log.push_back("show"); }
  void HideDialWindow() override { log.push_back("hide"); }
  void InvalidateDialWindow() override { log.push_back("invalidate"); }
  bool StartOnScreenKeyboard() override { return log.push_back("osk"), true; }
  bool PostWorkerRequest(std::uintptr_t request, std::intptr_t parameter) override {
    requests.push_back({request, parameter});
    return acceptRequests;
  }
  void OnConnectionChange(int value) override {
    log.push_back("connection " + std::to_string(value));
  }

  std::vector<std::string> log;
  std::vector<std::pair<std::uintptr_t, std::intptr_t>> requests;
  bool acceptRequests = true;
};

class MainWindowCoreTest : public ::testing::Test {
 protected:
  MainWindowCoreTest() {
    desktop.windows[kConfiguratorTitle] = kConfigurator;
    desktop.windows[kOsdTitle] = kOsd;
    settings.Load();
    core.SetOsdDataPath(u"C:\\osd.data");
    flags.devicePresence = kDevicePresent;
  }
  std::vector<unsigned> PostsTo(WindowHandle window) const {
    std::vector<unsigned> messages;
    for (const auto& post : desktop.posts) {
      if (post.window == window) messages.push_back(post.message);
    }
    return messages;
  }

  Disk disk;
  fakes::RecordingDesktop desktop;
  FakeSharedBlock shared;
  FakeClock clock;
  FakeDevice device{clock};
  DeviceFlags flags;
  Cp1252Converter converter;
  DeviceProtocol protocol{device, clock, flags, converter};
  SettingsStore settings{disk.env, shared, desktop, nullptr};
  DialState dial;
  FakeWindow window;
  MainWindowCore core{{settings, dial, desktop, shared, protocol, flags, window}};
};

TEST_F(MainWindowCoreTest, ToggleTwiceSendsHostStateShownThenHidden) {
  core.OnToggleDial();
  core.OnToggleDial();
  const auto sent = device.Sent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], (std::vector<std::uint8_t>{0x10, 0x08, 0x01, 0x01, 0, 0, 0, 0}));
  EXPECT_EQ(sent[1], (std::vector<std::uint8_t>{0x10, 0x08, 0x01, 0x00, 0, 0, 0, 0}));
  EXPECT_EQ(device.Polls(), 2);
  EXPECT_EQ(window.log, (std::vector<std::string>{"show", "invalidate", "hide"}));

  // A report the library refuses is not followed by a readiness poll.
  device.setResult = 0;
  core.OnHideDial();
  EXPECT_EQ(device.Polls(), 2);
}

TEST_F(MainWindowCoreTest, ButtonCommitReportsTheFunctionSavesAndTellsTheConfigurator) {
  settings.config.header.activeSlot = 1;
  core.CommitDialFunction(4);
  const auto sent = device.Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0], (std::vector<std::uint8_t>{0x0B, 0x08, 1, 4, 0, 0, 0, 0}));
  EXPECT_EQ(settings.config.slots[1].selectedFunction, 4);
  EXPECT_EQ(shared.shared->slots[1].selectedFunction, 4);
  EXPECT_EQ(PostsTo(kConfigurator), (std::vector<unsigned>{1254}));
  ConfigBlock saved{};
  const auto& file = disk.files.files.at(settings_test::kConfigPath);
  ASSERT_EQ(file.size(), sizeof(saved));
  std::memcpy(&saved, file.data(), sizeof(saved));
  EXPECT_EQ(saved.slots[1].selectedFunction, 4);
}

TEST_F(MainWindowCoreTest, DeviceGestureTellsTheConfiguratorOnce) {
  core.HandleDeviceEvent(0x50000001);
  core.HandleDeviceEvent(0x60000001);
  core.HandleDeviceEvent(0x70000005);
  core.HandleDeviceEvent(0x60000002);
  EXPECT_EQ(settings.config.slots[0].selectedFunction, 5);
  EXPECT_EQ(dial.previewMode, 0);
  EXPECT_EQ(PostsTo(kConfigurator), (std::vector<unsigned>{1254}));
  EXPECT_TRUE(device.Sent().empty());
}

TEST_F(MainWindowCoreTest, SlotSwitchReachesBlockPeersAndFile) {
  core.HandleDeviceEvent(DeviceEventCode(0x1000, 3));
  EXPECT_EQ(shared.shared->header.activeSlot, 2);
  EXPECT_EQ(desktop.posts, (std::vector<fakes::RecordingDesktop::Post>{
                               {kConfigurator, 1255, 0, 0}, {kOsd, 1324, 40, 0x00020000}}));
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
  EXPECT_EQ(desktop.posts, (std::vector<fakes::RecordingDesktop::Post>{{kOsd, 1324, 50, 0}}));
  EXPECT_EQ(shared.publishes, 0);
}

TEST_F(MainWindowCoreTest, ApplyWithTheDevicePresentLeavesTheAnswerToTheWorker) {
  shared.shared->slots[3].eventValue3000 = 77;
  core.OnApplyAllSetting(3);
  EXPECT_EQ(settings.config.slots[3].eventValue3000, 77);
  EXPECT_EQ(window.requests,
            (std::vector<std::pair<std::uintptr_t, std::intptr_t>>{{REQ_SWITCH_SLOT, 3}}));
  EXPECT_EQ(PostsTo(kOsd), (std::vector<unsigned>{1327}));
  EXPECT_TRUE(PostsTo(kConfigurator).empty());
}

TEST_F(MainWindowCoreTest, ApplyIsAnsweredAtOnceWhenNoWorkerRequestGoesOut) {
  fakes::TraceRecorder traces;
  flags.devicePresence = kDeviceRemoved;
  core.OnApplyAllSetting(0);
  EXPECT_TRUE(window.requests.empty());
  EXPECT_EQ(PostsTo(kConfigurator), (std::vector<unsigned>{1256}));
  EXPECT_TRUE(traces.Contains(u"OnApplyAllSetting  Send Enable OK/Apply Button\n"));

  // The device is present but the request cannot be posted.
  flags.devicePresence = kDevicePresent;
  window.acceptRequests = false;
  desktop.posts.clear();
  core.OnApplyAllSetting(1);
  EXPECT_EQ(window.requests.size(), 1u);
  EXPECT_EQ(PostsTo(kConfigurator), (std::vector<unsigned>{1256}));

  // No configurator: said in the trace, nothing posted to it.
  desktop.windows.erase(kConfiguratorTitle);
  traces.traces.clear();
  core.OnApplyAllSetting(0);
  EXPECT_EQ(traces.traces,
            (std::vector<std::u16string>{u"The worker request could not be posted\n",
                                         u"OnApplyAllSetting Don't find Mirk Option Dialog\n",
                                         u"OnApplyAllSetting  Send Enable OK/Apply Button\n"}));
}

TEST_F(MainWindowCoreTest, SettingsChangedAdoptsTheBoundedBlockAndSendsNothing) {
  shared.shared->header.activeSlot = 9;
  shared.shared->slots[0].selectedFunction = 200;
  core.OnSettingsChanged();
  EXPECT_EQ(settings.config.header.activeSlot, 0);
  EXPECT_EQ(settings.config.slots[0].selectedFunction, 200);  // carried, drawn as none
  EXPECT_TRUE(desktop.posts.empty());
  EXPECT_TRUE(window.requests.empty());
  EXPECT_EQ(shared.publishes, 0);

  // No block: the working settings stay as they were.
  shared.available = false;
  settings.config.header.activeSlot = 2;
  core.OnSettingsChanged();
  EXPECT_EQ(settings.config.header.activeSlot, 2);
}

TEST_F(MainWindowCoreTest, ForegroundSwitchIsPublishedButNotSaved) {
  SetAppPath(settings.config.slots[1], u"C:\\x\\Game.exe");
  const std::size_t stepsBefore = static_cast<std::size_t>(disk.files.steps());
  core.FollowForegroundApplication(u"GAME.EXE");
  EXPECT_EQ(shared.shared->header.activeSlot, 1);
  EXPECT_EQ(window.requests, (std::vector<std::pair<std::uintptr_t, std::intptr_t>>{{3, 0}}));
  EXPECT_EQ(desktop.posts, (std::vector<fakes::RecordingDesktop::Post>{
                               {kConfigurator, 1255, 0, 0}, {kOsd, 1324, 40, 0x00010000}}));
  EXPECT_EQ(static_cast<std::size_t>(disk.files.steps()), stepsBefore);
  core.FollowForegroundApplication(u"game.exe");
  EXPECT_EQ(window.requests.size(), 1u);
}

TEST_F(MainWindowCoreTest, ConnectionChangesAndTheOnScreenKeyboardGoToTheWindow) {
  core.HandleDeviceEvent(0x7F000002);
  core.HandleDeviceEvent(0x40000001);
  desktop.windows.erase(kConfiguratorTitle);
  core.HandleDeviceEvent(0x40000001);
  EXPECT_EQ(window.log, (std::vector<std::string>{"connection 2", "osk"}));
}

}  // namespace
}  // namespace torvo
