// The main window end to end: events from the virtual keyboard, the
// configurator's messages through the shared block, the hand-off file and
// the foreground application, seen by the peers, the keyboard, the block and
// the files.
#include <gtest/gtest.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstring>
#include <memory>
#include <random>

#include "settings/config_block.h"
#include "settings/settings_model.h"
#include "peer_block.h"
#include "torvo_fixture.h"

namespace torvo::testing {
namespace {

void SetText(char16_t* field, std::size_t capacity, std::u16string_view text) {
  std::memset(field, 0, capacity * sizeof(char16_t));
  std::memcpy(field, text.data(), std::min(text.size(), capacity - 1) * sizeof(char16_t));
}

std::string ImageOf(const ConfigBlock& block) {
  return std::string(reinterpret_cast<const char*>(&block), sizeof(block));
}

// Takes the share mutex and ends without releasing it: the mutex is then
// abandoned, as when a program of the suite dies while holding it.
DWORD WINAPI TakeShareMutexAndEnd(LPVOID) {
  HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, kShareMutex);
  WaitForSingleObject(mutex, 5000);
  return 0;
}

class MainWindowTest : public TorvoTest {
 protected:
  void SaveConfig(const ConfigBlock& block) {
    ASSERT_TRUE(area.Write(L"Config.data", ImageOf(block)));
  }
  std::unique_ptr<ConfigBlock> SavedConfig() const {
    const std::string bytes = area.Read(L"Config.data");
    if (bytes.size() != sizeof(ConfigBlock)) return nullptr;
    auto block = std::make_unique<ConfigBlock>();
    std::memcpy(block.get(), bytes.data(), sizeof(ConfigBlock));
    return block;
  }
  bool Answers(DWORD timeoutMs = 1000) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(torvo.MainWindow(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeoutMs,
                               &result) != 0;
  }
  std::vector<std::uint8_t> SetIdsFrom(std::size_t first) const {
    std::vector<std::uint8_t> ids;
    const auto reports = keyboard.AcceptedSetReports();
    for (std::size_t i = first; i < reports.size(); ++i) ids.push_back(reports[i][0]);
    return ids;
  }

  std::unique_ptr<ConfigBlock> defaults = [] {
    auto block = std::make_unique<ConfigBlock>();
    MakeDefaultBlock(*block);
    return block;
  }();
};

TEST_F(MainWindowTest, SlotSwitchFromTheKeyboardReachesBlockPeersAndFile) {
  PeerWindow configurator(L"Vistrane");
  PeerWindow osd(L"Zenqo_K27_Vistrane_OSD");
  StartAndWaitForUpload();
  PeerBlock shared;
  ASSERT_TRUE(shared.Valid());
  EXPECT_EQ(shared.Read()->header.activeSlot, 0);

  ASSERT_TRUE(keyboard.SendInputEvent(0x1000, 3));
  ASSERT_TRUE(
      WaitUntil([&] { return configurator.Count(1255) == 1 && osd.Count(1324) == 1; }, 3000));
  EXPECT_EQ(osd.Messages().back().wParam, 40u);
  EXPECT_EQ(osd.Messages().back().lParam, 0x00020000);
  EXPECT_EQ(shared.Read()->header.activeSlot, 2);
  // The file is saved right after the notices, within the same handler.
  ASSERT_TRUE(Answers());
  auto saved = SavedConfig();
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(saved->header.activeSlot, 2);
  // The device switched by itself: nothing is sent back to it.
  PumpFor(200);
  EXPECT_EQ(keyboard.Model().activeSlotReports, 1u);
}

TEST_F(MainWindowTest, DialGestureAndReportedValuesAreSavedAndAnnounced) {
  PeerWindow configurator(L"Vistrane");
  StartAndWaitForUpload();
  HWND main = torvo.MainWindow();
  const std::size_t before = keyboard.AcceptedSetReports().size();
  for (auto [eventClass, value] : {std::pair<std::uint16_t, std::uint16_t>{0x9000, 0x0107},
                                   {0x5000, 1},
                                   {0x6000, 1},
                                   {0x7000, 3},
                                   {0x7000, 5},
                                   {0x7000, 9},
                                   {0x6000, 2}}) {
    ASSERT_TRUE(keyboard.SendInputEvent(eventClass, value));
  }
  // 1254 comes after both files were saved.
  ASSERT_TRUE(WaitUntil([&] { return configurator.Count(1254) == 1; }, 3000));
  EXPECT_EQ(configurator.MessageNumbers(), (std::vector<UINT>{1257, 1254}));
  EXPECT_TRUE(IsWindowVisible(main));
  auto saved = SavedConfig();
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(saved->slots[0].selectedFunction, 5);
  EXPECT_EQ(saved->slots[0].eventValue9000, 7);
  PeerBlock shared;
  EXPECT_EQ(shared.Read()->slots[0].selectedFunction, 5);
  // The device made the selection itself: nothing is reported back.
  EXPECT_EQ(keyboard.AcceptedSetReports().size(), before);
}

TEST_F(MainWindowTest, OnScreenKeyboardOnlyWhileTheConfiguratorIsOpen) {
  StartAndWaitForUpload();
  ASSERT_TRUE(keyboard.SendInputEvent(0x4000, 1));
  ASSERT_TRUE(keyboard.WaitForDelivery(2000));
  ASSERT_TRUE(Answers());
  PumpFor(300);
  const std::string quiet = torvo.Traces();
  PeerWindow configurator(L"Vistrane");
  ASSERT_TRUE(keyboard.SendInputEvent(0x4000, 1));
  // This prefix has no osk.exe: the attempt shows in the trace.
  ASSERT_TRUE(torvo.WaitForTrace("osk.exe could not be started", 5000)) << torvo.Traces();
  EXPECT_EQ(quiet.find("osk.exe"), std::string::npos);
}

TEST_F(MainWindowTest, ApplyOfTheSlotOnlySendsTheActiveSlotReportAndAnswersNothing) {
  PeerWindow configurator(L"Vistrane");
  PeerWindow osd(L"Zenqo_K27_Vistrane_OSD");
  StartAndWaitForUpload();
  PeerBlock shared;
  ASSERT_TRUE(shared.Valid());
  auto block = shared.Read();
  block->header.activeSlot = 1;
  block->slots[0].keys[0].actionType = 0x31;  // a change that only a full apply would send
  shared.Write(*block);
  const std::size_t before = keyboard.AcceptedSetReports().size();

  ASSERT_TRUE(PostMessageW(torvo.MainWindow(), 1224, 3, 0));
  ASSERT_TRUE(WaitUntil([&] { return osd.Count(1327) == 1; }, 3000));
  EXPECT_EQ(osd.Messages().back().lParam, 0);
  ASSERT_TRUE(WaitUntil([&] { return keyboard.Model().activeSlotReports == 2; }, 5000));
  EXPECT_EQ(SetIdsFrom(before), std::vector<std::uint8_t>{0x05});
  EXPECT_EQ(keyboard.Model().activeSlot, 1);
  // Nothing reaches the configurator for it: the first answer it gets is
  // that of a whole apply queued behind it, once that apply's key tables
  // are in.
  ASSERT_TRUE(PostMessageW(torvo.MainWindow(), 1224, 0, 0));
  ASSERT_TRUE(WaitUntil([&] { return configurator.Count(1256) >= 1; }, 10000));
  EXPECT_EQ(keyboard.Model().keyTableReports, 8u) << keyboard.DumpReportLog(false);
  EXPECT_EQ(configurator.Count(1256), 1);
  EXPECT_EQ(configurator.Count(1255), 0);
}

TEST_F(MainWindowTest, ApplyWithTheDeviceAbsentIsAnsweredAtOnce) {
  ASSERT_TRUE(keyboard.SetPlugged(false, false));
  PeerWindow configurator(L"Vistrane");
  StartAndWaitForCreation();
  for (WPARAM wParam : {0, 3}) {
    ASSERT_TRUE(PostMessageW(torvo.MainWindow(), 1224, wParam, 0));
  }
  ASSERT_TRUE(WaitUntil([&] { return configurator.Count(1256) == 2; }, 2000));
  EXPECT_TRUE(keyboard.AcceptedSetReports().empty());
  EXPECT_NE(torvo.Traces().find("OnApplyAllSetting  Send Enable OK/Apply Button"),
            std::string::npos);
}

TEST_F(MainWindowTest, SettingsChangedAdoptsTheBlockAndSendsNothing) {
  PeerWindow configurator(L"Vistrane");
  PeerWindow osd(L"Zenqo_K27_Vistrane_OSD");
  StartAndWaitForUpload();
  PeerBlock shared;
  ASSERT_TRUE(shared.Valid());
  auto block = shared.Read();
  SetText(block->slots[1].name, 250, u"From the configurator");
  block->header.activeSlot = 7;  // out of range: adopted as slot 0
  block->slots[0].eventValue3000 = 0x55;
  shared.Write(*block);
  const std::size_t reportsBefore = keyboard.AcceptedSetReports().size();

  ASSERT_TRUE(PostMessageW(torvo.MainWindow(), 1226, 0, 0));
  ASSERT_TRUE(PostMessageW(torvo.MainWindow(), 1227, 0, 0));
  ASSERT_TRUE(Answers());
  PumpFor(300);
  EXPECT_TRUE(configurator.Messages().empty());
  EXPECT_TRUE(osd.Messages().empty());
  EXPECT_EQ(keyboard.AcceptedSetReports().size(), reportsBefore);

  // A device value that only saves the file shows what was adopted; the
  // republish that follows announces itself once that save is done.
  ASSERT_TRUE(keyboard.SendInputEvent(0x2000, 9));
  ASSERT_TRUE(keyboard.SendInputEvent(0x1000, 0x3000));
  ASSERT_TRUE(WaitUntil([&] { return configurator.Count(1255) == 1; }, 3000));
  ASSERT_TRUE(Answers());
  auto saved = SavedConfig();
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(saved->header.activeSlot, 0);
  EXPECT_EQ(saved->slots[0].eventValue3000, 0x55);
  EXPECT_EQ(std::u16string(saved->slots[1].name), u"From the configurator");
}

TEST_F(MainWindowTest, MacroSetUpThroughTheBlockReachesTheKeyboard) {
  PeerWindow configurator(L"Vistrane");
  StartAndWaitForUpload();
  PeerBlock shared;
  ASSERT_TRUE(shared.Valid());
  auto block = shared.Read();
  KeyAssignment& key = block->slots[0].keys[5];
  key.actionType = 3;
  SetText(key.label, 100, u"Mac1");
  key.repeatCount = 2;
  key.stepCount = 4;
  key.steps[0] = {0x04, 1, 50};  // A down
  key.steps[1] = {0x04, 0, 50};  // A up
  key.steps[2] = {0x05, 1, 50};  // B down
  key.steps[3] = {0x05, 0, 50};  // B up
  block->header.uploadFlags[0][5] = 1;
  shared.Write(*block);

  ASSERT_TRUE(PostMessageW(torvo.MainWindow(), 1224, 0, 0));
  ASSERT_TRUE(WaitUntil([&] { return configurator.Count(1256) == 1; }, 15000))
      << keyboard.DumpReportLog(false);
  const vkb::Macro macro = keyboard.Model().macros[5];  // macro number 6
  ASSERT_EQ(macro.present, 1);
  EXPECT_EQ(macro.slot, 0);
  EXPECT_EQ(macro.repeat, 2);
  EXPECT_STREQ(reinterpret_cast<const char*>(macro.name), "Mac1");
  ASSERT_EQ(macro.stepCount, 4);
  const std::uint8_t keys[] = {0x04, 0x04, 0x05, 0x05};
  const std::uint8_t pressed[] = {1, 0, 1, 0};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(macro.steps[i].keyCode, keys[i]) << i;
    EXPECT_EQ(macro.steps[i].pressed, pressed[i]) << i;
    EXPECT_NEAR(static_cast<int>(macro.steps[i].delayMs), 50, 5) << i;
  }
}

TEST_F(MainWindowTest, KeyTextIsInTheHandOffFileBeforeTheDisplayIsTold) {
  KeyAssignment& key = defaults->slots[0].keys[2];
  key.actionClass = 3;
  key.actionType = 2;
  SetText(key.label, 100, u"Paste special");
  SaveConfig(*defaults);
  PeerWindow osd(L"Zenqo_K27_Vistrane_OSD");
  std::wstring seen;
  osd.onMessage = [&](const RecordedMessage& m) {
    if (m.message != 1324 || m.wParam != 50) return;
    wchar_t text[128] = {};
    GetPrivateProfileStringW(L"OSDData", L"Message", L"", text, 128,
                             (area.Path() + L"osd.data").c_str());
    seen = text;
  };
  StartAndWaitForUpload();

  ASSERT_TRUE(keyboard.SendInputEvent(0xA000, 2));
  ASSERT_TRUE(WaitUntil([&] { return osd.Count(1324) == 1; }, 3000));
  EXPECT_EQ(osd.Messages().back().lParam, 0);
  EXPECT_EQ(seen, L"Paste special");
  // A key without a text tells the display nothing.
  ASSERT_TRUE(keyboard.SendInputEvent(0xA000, 3));
  ASSERT_TRUE(keyboard.WaitForDelivery(2000));
  ASSERT_TRUE(Answers());
  EXPECT_EQ(osd.Count(1324), 1);
}

TEST_F(MainWindowTest, ForegroundProgramOfASlotMakesItActiveWithinATick) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring name(self);
  name = name.substr(name.find_last_of(L'\\') + 1);
  CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
  const std::wstring path = L"  D:\\Elsewhere\\" + name + L" ";
  SetText(defaults->slots[3].appPath, 500, std::u16string(path.begin(), path.end()));
  SaveConfig(*defaults);
  PeerWindow configurator(L"Vistrane");
  PeerWindow osd(L"Zenqo_K27_Vistrane_OSD");
  StartAndWaitForUpload();
  const std::size_t before = keyboard.AcceptedSetReports().size();

  HWND window = CreateWindowExW(0, L"STATIC", L"foreground", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  SetForegroundWindow(window);
  ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == window; }, 2000));
  // Timer 500 ticks every 2 s.
  ASSERT_TRUE(WaitUntil([&] { return configurator.Count(1255) == 1; }, 3500))
      << "foreground " << GetForegroundWindow() << ", test window " << window;
  ASSERT_TRUE(WaitUntil([&] { return keyboard.Model().activeSlot == 3; }, 3000));
  EXPECT_EQ(SetIdsFrom(before), std::vector<std::uint8_t>{0x05});
  ASSERT_TRUE(WaitUntil([&] { return osd.Count(1324) == 1; }, 1000))
      << "display " << osd.Handle() << " found " << FindWindowW(nullptr, L"Zenqo_K27_Vistrane_OSD")
      << ", " << osd.Messages().size() << " messages; " << torvo.Traces();
  EXPECT_EQ(osd.Messages().back().lParam, 0x00030000);
  PeerBlock shared;
  EXPECT_EQ(shared.Read()->header.activeSlot, 3);
  // The next ticks find the same program: nothing more.
  PumpFor(2300);
  EXPECT_EQ(configurator.Count(1255), 1);
  DestroyWindow(window);
}

TEST_F(MainWindowTest, ToggleHideCommandsAndEnter) {
  StartAndWaitForUpload();
  HWND main = torvo.MainWindow();
  const std::size_t before = keyboard.AcceptedSetReports().size();
  SendMessageW(main, 1040, 0, 0);
  EXPECT_TRUE(IsWindowVisible(main));
  SendMessageW(main, 1040, 0, 0);
  EXPECT_FALSE(IsWindowVisible(main));
  SendMessageW(main, 1040, 0, 0);
  SendMessageW(main, WM_COMMAND, 2010, 0);
  EXPECT_FALSE(IsWindowVisible(main));
  const auto reports = keyboard.AcceptedSetReports();
  ASSERT_EQ(reports.size(), before + 4);
  const std::uint8_t shown[] = {1, 0, 1, 0};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(reports[before + i],
              (std::vector<std::uint8_t>{0x10, 0x08, 0x01, shown[i], 0, 0, 0, 0}));
  }
  // The device shows and hides the dial without being told anything back.
  ASSERT_TRUE(keyboard.SendInputEvent(0x5000, 1));
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(main) != FALSE; }, 2000));
  EXPECT_EQ(keyboard.AcceptedSetReports().size(), before + 4);

  // Enter ends the dialog, and the program ends as after the exit command.
  ASSERT_TRUE(PostMessageW(main, WM_COMMAND, IDOK, 0));
  ASSERT_TRUE(torvo.WaitForExit(kExitTimeoutMs));
  EXPECT_EQ(torvo.ExitCode(), 0u);
  const auto last = keyboard.AcceptedSetReports().back();
  EXPECT_EQ(last, (std::vector<std::uint8_t>{0x10, 0x08, 0, 0, 0, 0, 0, 0}));
}

TEST_F(MainWindowTest, SharedBlockGrantsNoOtherAccounts) {
  StartAndWaitForCreation();
  HANDLE mapping = OpenFileMappingW(READ_CONTROL, FALSE, kShareData);
  ASSERT_NE(mapping, nullptr);
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetSecurityInfo(mapping, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                            &dacl, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_NE(dacl, nullptr) << "a NULL DACL grants everyone everything";
  ASSERT_GT(dacl->AceCount, 0);
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, &ace));
    const auto* header = static_cast<ACE_HEADER*>(ace);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
    wchar_t* text = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidW(sid, &text));
    const std::wstring granted = text;
    LocalFree(text);
    EXPECT_NE(granted, L"S-1-1-0") << "Everyone";
    EXPECT_NE(granted, L"S-1-5-7") << "anonymous";
    EXPECT_NE(granted, L"S-1-5-32-545") << "all users";
  }
  LocalFree(descriptor);
  CloseHandle(mapping);
}

TEST_F(MainWindowTest, ShortExistingMappingIsNeitherReadNorWritten) {
  HANDLE small =
      CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, kShareData);
  ASSERT_NE(small, nullptr);
  auto* bytes = static_cast<std::uint8_t*>(MapViewOfFile(small, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  ASSERT_NE(bytes, nullptr);
  std::memset(bytes, 0xAB, 4096);
  PeerWindow configurator(L"Vistrane");
  StartAndWaitForUpload();
  EXPECT_NE(torvo.Traces().find("fewer than 84212 bytes"), std::string::npos) << torvo.Traces();
  ASSERT_TRUE(keyboard.SendInputEvent(0x1000, 2));
  ASSERT_TRUE(PostMessageW(torvo.MainWindow(), 1226, 0, 0));
  ASSERT_TRUE(WaitUntil([&] { return configurator.Count(1255) == 1; }, 3000));
  for (int i = 0; i < 4096; ++i) ASSERT_EQ(bytes[i], 0xAB) << i;
  EXPECT_TRUE(torvo.Running());
  UnmapViewOfFile(bytes);
  CloseHandle(small);
}

TEST_F(MainWindowTest, AbandonedAndHeldShareMutex) {
  PeerWindow configurator(L"Vistrane");
  StartAndWaitForUpload();
  PeerBlock shared;
  ASSERT_TRUE(shared.Valid());
  // A program that ends while holding the mutex abandons it.
  HANDLE thread = CreateThread(nullptr, 0, &TakeShareMutexAndEnd, nullptr, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  CloseHandle(thread);
  ASSERT_TRUE(PostMessageW(torvo.MainWindow(), 1226, 0, 0));
  ASSERT_TRUE(torvo.WaitForTrace("Share mutex was abandoned", 3000)) << torvo.Traces();
  // Released again: the other programs are not locked out.
  ASSERT_EQ(WaitForSingleObject(shared.Mutex(), 1000), WAIT_OBJECT_0);
  ReleaseMutex(shared.Mutex());

  // The configurator changes a key and applies while it holds the mutex for
  // three seconds: the window answers throughout and reports nothing done.
  auto block = shared.Read();
  block->slots[0].keys[0].keyCodes[0] = 0x2C;
  shared.Write(*block);
  bool changedAtAnswer = false;
  configurator.onMessage = [&](const RecordedMessage& m) {
    if (m.message == 1256) changedAtAnswer = keyboard.Model().slots[0].keys[0][1] == 0x2C;
  };
  const std::size_t keyTablesBefore = keyboard.Model().keyTableReports;
  ASSERT_EQ(WaitForSingleObject(shared.Mutex(), 1000), WAIT_OBJECT_0);
  ASSERT_TRUE(PostMessageW(torvo.MainWindow(), 1224, 0, 0));
  const ULONGLONG holdEnd = GetTickCount64() + 3000;
  while (GetTickCount64() < holdEnd) {
    EXPECT_TRUE(Answers(500));
    PumpFor(100);
  }
  EXPECT_EQ(configurator.Count(1256), 0);
  EXPECT_EQ(keyboard.Model().keyTableReports, keyTablesBefore);
  ReleaseMutex(shared.Mutex());
  ASSERT_TRUE(WaitUntil([&] { return configurator.Count(1256) == 1; }, 15000))
      << keyboard.DumpReportLog(false) << torvo.Traces();
  EXPECT_TRUE(changedAtAnswer) << "the changed key table reaches the keyboard before 1256";
  // One trace for the time-out, none for its retries.
  const std::string traces = torvo.Traces();
  const std::size_t first = traces.find("Share mutex wait timed out");
  ASSERT_NE(first, std::string::npos) << traces;
  EXPECT_EQ(traces.find("Share mutex wait timed out", first + 1), std::string::npos);

  // The same hold with a change announced by 1226, then a value from the
  // keyboard: the working settings, the file and the block keep both.
  block = shared.Read();
  SetText(block->slots[1].name, 250, u"Held by the configurator");
  shared.Write(*block);
  ASSERT_EQ(WaitForSingleObject(shared.Mutex(), 1000), WAIT_OBJECT_0);
  ASSERT_TRUE(PostMessageW(torvo.MainWindow(), 1226, 0, 0));
  ASSERT_TRUE(keyboard.SendInputEvent(0x3000, 0x42));
  const ULONGLONG secondHoldEnd = GetTickCount64() + 3000;
  while (GetTickCount64() < secondHoldEnd) {
    EXPECT_TRUE(Answers(500));
    PumpFor(100);
  }
  EXPECT_EQ(configurator.Count(1257), 0);
  ReleaseMutex(shared.Mutex());
  ASSERT_TRUE(WaitUntil([&] { return configurator.Count(1257) == 1; }, 5000)) << torvo.Traces();
  ASSERT_TRUE(Answers());
  auto saved = SavedConfig();
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(std::u16string(saved->slots[1].name), u"Held by the configurator");
  EXPECT_EQ(saved->slots[0].keys[0].keyCodes[0], 0x2C);
  EXPECT_EQ(saved->slots[0].eventValue3000, 0x42);
  block = shared.Read();
  EXPECT_EQ(std::u16string(block->slots[1].name), u"Held by the configurator");
  EXPECT_EQ(block->slots[0].eventValue3000, 0x42);
}

TEST_F(MainWindowTest, BurstOfDeviceEventsLeavesValidSettings) {
  // Every slot switch is announced to the display: once it has seen them
  // all, every event sent before them was handled.
  PeerWindow osd(L"Zenqo_K27_Vistrane_OSD");
  int switches = 0;
  StartAndWaitForUpload();
  std::mt19937 random(12345);
  static constexpr std::uint16_t kClasses[] = {0x1000, 0x2000, 0x3000, 0x4000, 0x5000, 0x6000,
                                               0x7000, 0x7F00, 0x9000, 0xA000, 0x0000, 0xB000};
  constexpr int kEvents = 3000;
  constexpr int kBatch = 200;
  int sent = 0;
  while (sent < kEvents) {
    for (int i = 0; i < kBatch; ++i, ++sent) {
      const std::uint16_t eventClass = kClasses[random() % std::size(kClasses)];
      std::uint16_t value = static_cast<std::uint16_t>(random() % 12);
      if (random() % 8 == 0) value = static_cast<std::uint16_t>(random());
      // Connection changes other than arrival and removal only: those two
      // are covered by the device link tests.
      if (eventClass == 0x7F00 && (value == 1 || value == 2)) value = 3;
      if (eventClass == 0x1000 && ((value >= 1 && value <= 4) || value == 0x3000)) ++switches;
      ASSERT_TRUE(keyboard.SendInputEvent(eventClass, value));
    }
    ASSERT_TRUE(keyboard.WaitForDelivery(30000));
    ASSERT_TRUE(Answers(5000)) << "after " << sent << " events";
  }
  ASSERT_TRUE(WaitUntil([&] { return osd.Count(1324) == switches; }, 60000))
      << osd.Count(1324) << " of " << switches;
  ASSERT_TRUE(torvo.Running());
  ASSERT_TRUE(Answers(5000));
  auto saved = SavedConfig();
  ASSERT_NE(saved, nullptr);
  EXPECT_GE(saved->header.activeSlot, 0);
  EXPECT_LT(saved->header.activeSlot, 4);
  PeerBlock shared;
  ASSERT_TRUE(shared.Valid());
  auto block = shared.Read();
  EXPECT_GE(block->header.activeSlot, 0);
  EXPECT_LT(block->header.activeSlot, 4);
  EXPECT_EQ(keyboard.Counters().postsDropped, 0u);
}

}  // namespace
}  // namespace torvo::testing
