// The settings store: start-up loading and SaveActiveProfile.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "settings/config_file.h"
#include "settings/settings_model.h"
#include "settings/settings_store.h"
#include "settings_test_support.h"

namespace torvo {
namespace {

using namespace settings_test;

constexpr WindowHandle kConfigurator = 0x4411;

class SettingsStoreTest : public ::testing::Test {
 protected:
  SettingsStoreTest() {
    desktop.windows[u"Vistrane"] = kConfigurator;
    store = std::make_unique<SettingsStore>(disk.env, publisher, desktop,
                                            [] { return std::u16string(u"Standard"); });
  }

  // A library file of `count` records whose selectedFunction is 100 + position.
  void WriteLibrary(int count) {
    Bytes file;
    for (int i = 0; i < count; ++i) {
      auto record = std::make_unique<ProfileRecord>();
      MakeDefaultProfile(*record, 1);
      record->selectedFunction = static_cast<std::uint8_t>(100 + i);
      const Bytes image = ImageOf(*record);
      file.insert(file.end(), image.begin(), image.end());
    }
    disk.files.files[kLibraryPath] = file;
  }

  void WriteConfig(std::int32_t activeSlot, std::initializer_list<std::int32_t> indices) {
    auto block = std::make_unique<ConfigBlock>();
    MakeDefaultBlock(*block);
    block->header.activeSlot = activeSlot;
    int s = 0;
    for (std::int32_t index : indices) block->header.libraryIndex[s++] = index;
    for (int slot = 0; slot < kSlotCount; ++slot) {
      block->slots[slot].selectedFunction = static_cast<std::uint8_t>(slot + 1);
    }
    disk.files.files[kConfigPath] = ImageOf(*block);
  }

  Disk disk;
  fakes::RecordingPublisher publisher;
  fakes::RecordingDesktop desktop;
  std::unique_ptr<SettingsStore> store;
};

TEST_F(SettingsStoreTest, FirstStartMakesBothFilesAndBindsTheDefaultRecord) {
  store->Load();
  EXPECT_EQ(store->config.header.activeSlot, 0);
  ASSERT_EQ(store->profileLibrary.size(), 1u);
  EXPECT_EQ(store->libraryProfile, store->profileLibrary[0].get());
  EXPECT_EQ(std::u16string(store->libraryProfile->name), u"Standard");
  EXPECT_EQ(disk.files.files[kConfigPath], ImageOf(store->config));
  EXPECT_EQ(disk.files.files[kLibraryPath], ImageOf(*store->profileLibrary[0]));
}

TEST_F(SettingsStoreTest, SaveAfterSlotChangeCopiesOntoTheRecordOfTheNewSlot) {
  WriteConfig(0, {0, 1, 3, 2});
  WriteLibrary(4);
  store->Load();
  ASSERT_EQ(store->libraryProfile, store->profileLibrary[0].get());

  store->config.header.activeSlot = 2;
  store->config.slots[2].selectedFunction = 6;
  store->SaveActiveProfile();

  EXPECT_EQ(store->libraryProfile, store->profileLibrary[3].get());
  EXPECT_EQ(ImageOf(*store->profileLibrary[3]), ImageOf(store->config.slots[2]));
  EXPECT_EQ(store->profileLibrary[0]->selectedFunction, 100);  // the old binding is untouched
  EXPECT_EQ(store->profileLibrary[1]->selectedFunction, 101);
  EXPECT_EQ(store->profileLibrary[2]->selectedFunction, 102);

  // Both files hold what is in memory.
  EXPECT_EQ(disk.files.files[kConfigPath], ImageOf(store->config));
  const Bytes& library = disk.files.files[kLibraryPath];
  ASSERT_EQ(library.size(), 4 * kProfileRecordSize);
  EXPECT_EQ(library[3 * kProfileRecordSize + 1548], 6);
  EXPECT_EQ(library[0 * kProfileRecordSize + 1548], 100);
}

TEST_F(SettingsStoreTest, SaveRunsItsStepsInOrder) {
  WriteConfig(1, {0, 0, 0, 0});
  WriteLibrary(1);
  store->Load();
  store->config.slots[1].selectedFunction = 8;
  const std::size_t stepsBefore = disk.files.log.size();
  std::size_t stepsAtPublish = 0;
  std::size_t postsAtPublish = 99;
  publisher.onPublish = [&] {
    stepsAtPublish = disk.files.log.size();
    postsAtPublish = desktop.posts.size();
  };
  store->SaveActiveProfile();

  // Published first, with the changed block, before any file was touched.
  ASSERT_EQ(publisher.published.size(), 1u);
  EXPECT_EQ(publisher.published[0], ImageOf(store->config));
  EXPECT_EQ(stepsAtPublish, stepsBefore);
  EXPECT_EQ(postsAtPublish, 0u);
  EXPECT_EQ(disk.files.files[kConfigPath][756 + 20864 + 1548], 8);
  EXPECT_EQ(disk.files.files[kLibraryPath][1548], 8);
  ASSERT_EQ(desktop.posts.size(), 1u);
  EXPECT_EQ(desktop.posts[0], (fakes::RecordingDesktop::Post{kConfigurator, 1254, 0, 0}));
}

TEST_F(SettingsStoreTest, EmptyLibrarySavesBothFilesAndCopiesNothing) {
  WriteConfig(0, {0, 0, 0, 0});
  disk.files.files[kLibraryPath] = {};
  store->Load();
  EXPECT_EQ(store->libraryProfile, nullptr);
  disk.files.files.clear();

  store->SaveActiveProfile();
  EXPECT_EQ(store->libraryProfile, nullptr);
  EXPECT_TRUE(store->profileLibrary.empty());
  EXPECT_EQ(disk.files.files[kConfigPath], ImageOf(store->config));
  ASSERT_TRUE(disk.files.HasFile(kLibraryPath));
  EXPECT_TRUE(disk.files.files[kLibraryPath].empty());
  EXPECT_EQ(desktop.posts.size(), 1u);
}

TEST_F(SettingsStoreTest, IndexOutsideTheLibraryBindsNothing) {
  for (std::int32_t index : {2, -1, 0x7FFFFFFF}) {
    WriteConfig(3, {0, 0, 0, index});
    WriteLibrary(2);
    store = std::make_unique<SettingsStore>(disk.env, publisher, desktop, nullptr);
    store->Load();
    EXPECT_EQ(store->libraryProfile, nullptr);
    const Bytes before = disk.files.files[kLibraryPath];
    store->SaveActiveProfile();
    EXPECT_EQ(store->libraryProfile, nullptr);
    EXPECT_EQ(disk.files.files[kLibraryPath], before);
  }
}

TEST_F(SettingsStoreTest, AbsentConfiguratorAndFailedPublishStillSave) {
  WriteConfig(0, {0, 0, 0, 0});
  WriteLibrary(1);
  store->Load();
  desktop.windows.clear();
  publisher.succeed = false;
  store->config.slots[0].selectedFunction = 4;
  store->SaveActiveProfile();
  EXPECT_TRUE(desktop.posts.empty());
  EXPECT_EQ(disk.files.files[kConfigPath][756 + 1548], 4);
  EXPECT_EQ(disk.files.files[kLibraryPath][1548], 4);
}

TEST_F(SettingsStoreTest, ActiveSlotSetOutOfRangeLaterIsReadAsSlotZero) {
  WriteConfig(1, {1, 0, 0, 0});
  WriteLibrary(2);
  store->Load();
  store->config.header.activeSlot = 9;  // e.g. adopted from the shared block
  EXPECT_EQ(&store->ActiveProfile(), &store->config.slots[0]);
  EXPECT_EQ(store->BoundLibraryRecord(), store->profileLibrary[1].get());
}

// --- files that exist but cannot be read -------------------------------------

int Writes(const fakes::FakeFileSystem& files) {
  return static_cast<int>(std::count(files.log.begin(), files.log.end(), "write"));
}

TEST_F(SettingsStoreTest, DefaultsStandingInForAnUnreadableConfigReachNoFileUntilAHandOver) {
  WriteConfig(2, {0, 0, 1, 0});
  const Bytes userFile = disk.files.files[kConfigPath];
  WriteLibrary(2);
  const Bytes userLibrary = disk.files.files[kLibraryPath];
  disk.files.unreadable.insert(kConfigPath);
  fakes::TraceRecorder traces;
  store->Load();

  // Defaults in memory, the file untouched, the library loaded as usual.
  EXPECT_TRUE(store->KeepsConfigFile());
  EXPECT_FALSE(store->KeepsLibraryFile());
  EXPECT_EQ(store->config.header.activeSlot, 0);
  EXPECT_EQ(store->profileLibrary.size(), 2u);
  EXPECT_EQ(disk.files.files[kConfigPath], userFile);
  EXPECT_EQ(Writes(disk.files), 0);

  // A dial gesture and a device event: published and announced, but neither
  // Config.data nor the library record bound to the slot takes the defaults.
  store->config.slots[0].selectedFunction = 5;
  store->SaveActiveProfile();
  EXPECT_FALSE(store->SaveConfig());  // as after a device event
  EXPECT_EQ(disk.files.files[kConfigPath], userFile);
  EXPECT_EQ(disk.files.files[kLibraryPath], userLibrary);
  EXPECT_EQ(store->profileLibrary[0]->selectedFunction, 100);
  EXPECT_TRUE(traces.Contains(u"Config.data could not be read at start; this save is skipped\n"));
  EXPECT_EQ(desktop.posts.size(), 1u);
  EXPECT_EQ(publisher.published.size(), 1u);

  // Readable again later: memory still holds defaults, so the file is kept.
  disk.files.unreadable.clear();
  EXPECT_FALSE(store->SaveConfig());
  store->SaveActiveProfile();
  EXPECT_EQ(disk.files.files[kConfigPath], userFile);
  EXPECT_EQ(store->profileLibrary[0]->selectedFunction, 100);
  EXPECT_TRUE(traces.Contains(
      u"Config.data reads again; the file on disk is kept and this save skipped\n"));
  EXPECT_FALSE(disk.files.HasFile(kConfigPath + u".tmp"));

  // The configurator hands its block over: the settings are the user's
  // again, and both the file and the bound record follow them.
  store->config.slots[0].selectedFunction = 7;
  store->SettingsHandedOver();
  EXPECT_FALSE(store->KeepsConfigFile());
  store->SaveActiveProfile();
  EXPECT_EQ(disk.files.files[kConfigPath], ImageOf(store->config));
  EXPECT_EQ(store->profileLibrary[0]->selectedFunction, 7);
  EXPECT_EQ(disk.files.files[kLibraryPath][1548], 7);
}

TEST_F(SettingsStoreTest, UnreadableLibraryIsNeverWrittenOverInThatRun) {
  WriteConfig(0, {0, 0, 0, 0});
  WriteLibrary(3);
  const Bytes userFile = disk.files.files[kLibraryPath];
  disk.files.unreadable.insert(kLibraryPath);
  fakes::TraceRecorder traces;
  store->Load();

  EXPECT_FALSE(store->KeepsConfigFile());
  EXPECT_TRUE(store->KeepsLibraryFile());
  ASSERT_EQ(store->profileLibrary.size(), 1u);
  EXPECT_EQ(store->libraryProfile, store->profileLibrary[0].get());
  EXPECT_EQ(disk.files.files[kLibraryPath], userFile);
  EXPECT_EQ(Writes(disk.files), 0);

  store->config.slots[0].selectedFunction = 7;
  store->SaveActiveProfile();
  EXPECT_EQ(store->profileLibrary[0]->selectedFunction, 7);  // memory follows
  EXPECT_EQ(disk.files.files[kLibraryPath], userFile);
  EXPECT_EQ(disk.files.files[kConfigPath][756 + 1548], 7);  // Config.data is saved
  EXPECT_TRUE(traces.Contains(u"SoftWare.data could not be read at start; this save is skipped\n"));

  disk.files.unreadable.clear();
  store->SaveActiveProfile();
  EXPECT_EQ(disk.files.files[kLibraryPath], userFile);
  EXPECT_TRUE(traces.Contains(
      u"SoftWare.data reads again; the file on disk is kept and this save skipped\n"));
}

TEST_F(SettingsStoreTest, MissingFilesAreCreatedAndLaterSavesWriteThem) {
  store->Load();
  EXPECT_FALSE(store->KeepsConfigFile());
  EXPECT_FALSE(store->KeepsLibraryFile());
  ASSERT_TRUE(disk.files.HasFile(kConfigPath));
  ASSERT_TRUE(disk.files.HasFile(kLibraryPath));
  store->config.slots[0].selectedFunction = 3;
  store->SaveActiveProfile();
  EXPECT_EQ(disk.files.files[kConfigPath], ImageOf(store->config));
  EXPECT_EQ(disk.files.files[kLibraryPath][1548], 3);

  // A new start on the files it wrote keeps what was saved.
  auto next = std::make_unique<SettingsStore>(disk.env, publisher, desktop, nullptr);
  next->Load();
  EXPECT_EQ(ImageOf(next->config), ImageOf(store->config));
  EXPECT_EQ(next->profileLibrary[0]->selectedFunction, 3);
}

// --- files another program holds open ------------------------------------------

TEST_F(SettingsStoreTest, ARefusedSaveWaitsCollapsesAndLandsTheNewestOnce) {
  store->Load();
  const Bytes oldConfig = disk.files.files[kConfigPath];
  fakes::TraceRecorder traces;
  disk.files.held.insert(kConfigPath);

  // Two saves while the file is held: one waits, with the newer content
  // (whose temporary file could not even be written this time).
  store->config.slots[0].selectedFunction = 3;
  EXPECT_FALSE(store->SaveConfig());
  store->config.slots[0].selectedFunction = 6;
  disk.files.FailStep(disk.files.steps() + 1);  // after the folder's check
  EXPECT_FALSE(store->SaveConfig());
  EXPECT_TRUE(store->SavesPending());
  EXPECT_EQ(disk.files.files[kConfigPath], oldConfig);
  EXPECT_EQ(traces.Count(u"Config.data cannot be replaced now (another program may have it "
                         u"open); the save waits and is tried again\n"),
            1);

  // Retries while it is still held write the temporary file once and then
  // only try the move; the file stays whole.
  const int writes = Writes(disk.files);
  for (int i = 0; i < 3; ++i) store->RetryPendingSaves();
  EXPECT_EQ(Writes(disk.files), writes + 1);
  EXPECT_EQ(disk.files.files[kConfigPath], oldConfig);

  // Let go: the next retry lands the newest content, and nothing after it.
  disk.files.held.clear();
  store->RetryPendingSaves();
  EXPECT_FALSE(store->SavesPending());
  EXPECT_EQ(disk.files.files[kConfigPath], ImageOf(store->config));
  EXPECT_EQ(disk.files.files[kConfigPath][756 + 1548], 6);
  EXPECT_FALSE(disk.files.HasFile(kConfigPath + u".tmp"));
  EXPECT_TRUE(traces.Contains(u"Config.data: the save that waited is written\n"));
  const int steps = disk.files.steps();
  store->RetryPendingSaves();
  EXPECT_EQ(disk.files.steps(), steps);

  // The library held during a dial gesture: Config.data lands, the library
  // waits, and the configurator is told all the same.
  disk.files.held.insert(kLibraryPath);
  store->config.slots[0].selectedFunction = 2;
  store->SaveActiveProfile();
  EXPECT_EQ(disk.files.files[kConfigPath][756 + 1548], 2);
  EXPECT_EQ(disk.files.files[kLibraryPath][1548], 1);
  EXPECT_EQ(desktop.posts.size(), 1u);
  // A save of a waiting file that lands at once ends the wait.
  disk.files.held.clear();
  store->config.slots[0].selectedFunction = 8;
  store->SaveActiveProfile();
  EXPECT_FALSE(store->SavesPending());
  EXPECT_EQ(disk.files.files[kLibraryPath][1548], 8);
}

TEST_F(SettingsStoreTest, ExitWithASaveStillRefusedKeepsTheOldFileWhole) {
  store->Load();
  const Bytes oldConfig = disk.files.files[kConfigPath];
  fakes::TraceRecorder traces;
  disk.files.held.insert(kConfigPath);
  store->config.header.word1 = 77;
  store->SaveConfig();
  store->FinishSavesAtExit();
  EXPECT_FALSE(store->SavesPending());
  EXPECT_EQ(disk.files.files[kConfigPath], oldConfig);
  EXPECT_FALSE(disk.files.HasFile(kConfigPath + u".tmp"));
  EXPECT_TRUE(traces.Contains(
      u"Config.data could not be written before exit; the file keeps its previous content\n"));

  // Let go just before exit: the last try lands it.
  store->SaveConfig();
  disk.files.held.clear();
  store->FinishSavesAtExit();
  EXPECT_EQ(disk.files.files[kConfigPath], ImageOf(store->config));
}

TEST_F(SettingsStoreTest, ACrashAtAnyStepOfAWaitingSaveLeavesTheFileOldOrNew) {
  for (int crashAfter = 0; crashAfter < 8; ++crashAfter) {
    disk.files = fakes::FakeFileSystem();
    disk.files.directories.insert(kFolder.substr(0, kFolder.size() - 1));
    store = std::make_unique<SettingsStore>(disk.env, publisher, desktop, nullptr);
    store->Load();
    const Bytes oldConfig = disk.files.files[kConfigPath];
    disk.files.held.insert(kConfigPath);
    store->config.header.word2 = 55;
    store->SaveConfig();
    store->config.header.word2 = 56;  // the content that waits
    disk.files.CrashAfterSteps(disk.files.steps() + crashAfter);
    store->SaveConfig();
    disk.files.held.clear();
    store->RetryPendingSaves();
    store->RetryPendingSaves();
    const Bytes& now = disk.files.files[kConfigPath];
    EXPECT_TRUE(now == oldConfig || now == ImageOf(store->config)) << crashAfter;
  }
}

}  // namespace
}  // namespace torvo
