// Settings folder, Config.data and SoftWare.data on an in-memory disk.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "settings/atomic_file.h"
#include "settings/config_file.h"
#include "settings/profile_library.h"
#include "settings/settings_model.h"
#include "settings_test_support.h"

namespace torvo {
namespace {

using namespace settings_test;

Bytes DefaultImage() {
  auto block = std::make_unique<ConfigBlock>();
  MakeDefaultBlock(*block);
  return ImageOf(*block);
}

// --- settings folder ---------------------------------------------------------

TEST(SettingsFolder, FirstStartCreatesVistraneAndLaterStartsOnlyTrace) {
  fakes::FakeFileSystem files;
  fakes::FakeUserFolders folders;
  SettingsEnvironment env{files, folders};
  fakes::TraceRecorder traces;

  EXPECT_EQ(GetSettingsFolder(env), kFolder);
  EXPECT_EQ(files.directories.count(u"C:\\Users\\kim\\AppData\\Roaming\\Vistrane"), 1u);
  EXPECT_FALSE(traces.Contains(u"mousehid exit\n"));

  const int stepsBefore = files.steps();
  EXPECT_EQ(GetSettingsFolder(env), kFolder);
  EXPECT_TRUE(traces.Contains(u"mousehid exit\n"));
  EXPECT_EQ(files.log.back(), "exists");  // nothing created the second time
  EXPECT_EQ(files.steps(), stepsBefore + 1);
}

TEST(SettingsFolder, WithoutAppDataTheProgramFolderIsUsedAsItIs) {
  fakes::FakeFileSystem files;
  fakes::FakeUserFolders folders;
  folders.hasAppData = false;
  SettingsEnvironment env{files, folders};
  EXPECT_EQ(GetSettingsFolder(env), u"C:\\Program Files\\Torvo\\");
  EXPECT_EQ(files.steps(), 0);  // nothing tested or created

  // Evaluated at each call: the application-data folder appearing later counts.
  folders.hasAppData = true;
  EXPECT_EQ(GetSettingsFolder(env), kFolder);
  EXPECT_EQ(OsdDataPath(env), kFolder + u"osd.data");
}

// --- Config.data -------------------------------------------------------------

TEST(ConfigFile, MissingFileGivesTheDefaultBlockSavedAtOnce) {
  Disk disk;
  auto block = std::make_unique<ConfigBlock>();
  block->header.activeSlot = -1;
  EXPECT_EQ(LoadConfig(disk.env, *block), ReadResult::kNotFound);
  EXPECT_EQ(ImageOf(*block), DefaultImage());
  ASSERT_TRUE(disk.files.HasFile(kConfigPath));
  EXPECT_EQ(disk.files.files[kConfigPath], DefaultImage());
  EXPECT_FALSE(disk.files.HasFile(TemporaryPathFor(kConfigPath)));
}

// A file that is there but cannot be read (locked, access denied, a failing
// disk) may hold the user's settings: the defaults are used in memory only.
TEST(ConfigFile, UnreadableFileGivesTheDefaultsButIsNotWritten) {
  for (bool injectedFailure : {false, true}) {
    Disk disk;
    const Bytes old = ConfigImage(3, 1);
    disk.files.files[kConfigPath] = old;
    if (injectedFailure) {
      disk.files.FailStep(1);  // step 0 checks the folder, 1 reads the file
    } else {
      disk.files.unreadable.insert(kConfigPath);
    }
    auto block = std::make_unique<ConfigBlock>();
    block->header.activeSlot = -1;
    fakes::TraceRecorder traces;
    EXPECT_EQ(LoadConfig(disk.env, *block), ReadResult::kFailed);
    EXPECT_EQ(ImageOf(*block), DefaultImage());
    EXPECT_EQ(disk.files.files[kConfigPath], old);
    EXPECT_EQ(disk.files.files.size(), 1u);
    EXPECT_EQ(std::count(disk.files.log.begin(), disk.files.log.end(), "write"), 0);
    EXPECT_TRUE(traces.Contains(
        u"Config.data could not be read; the default settings are used and the file is kept\n"));
  }
}

TEST(ConfigFile, LoadAndSaveOfAFullFileIsByteIdentical) {
  Disk disk;
  const Bytes image = ConfigImage(7, 2);
  disk.files.files[kConfigPath] = image;
  auto block = std::make_unique<ConfigBlock>();
  EXPECT_EQ(LoadConfig(disk.env, *block), ReadResult::kRead);
  EXPECT_EQ(block->header.activeSlot, 2);
  disk.files.files.clear();
  ASSERT_TRUE(SaveConfig(disk.env, *block));
  EXPECT_EQ(disk.files.files[kConfigPath], image);
  EXPECT_EQ(disk.files.files.size(), 1u);  // no temporary file left behind
}

TEST(ConfigFile, ShortFilesAreLaidOverTheDefaultBlock) {
  for (std::size_t size : {std::size_t{0}, std::size_t{3}, std::size_t{756}, std::size_t{50000},
                           kConfigBlockSize - 1}) {
    Disk disk;
    Bytes file = ConfigImage(11, 1);
    file.resize(size);
    disk.files.files[kConfigPath] = file;
    auto block = std::make_unique<ConfigBlock>();
    block->header.activeSlot = -1;
    fakes::TraceRecorder traces;
    LoadConfig(disk.env, *block);

    Bytes expected = DefaultImage();
    std::copy(file.begin(), file.end(), expected.begin());
    std::int32_t slot;
    std::memcpy(&slot, expected.data(), 4);
    if (slot < 0 || slot > 3) std::memset(expected.data(), 0, 4);
    EXPECT_EQ(ImageOf(*block), expected) << "size " << size;
    EXPECT_THAT(
        traces.traces,
        ::testing::Contains(u"Config.data is short; the missing bytes take their defaults\n"))
        << "size " << size;
    EXPECT_EQ(disk.files.files[kConfigPath], file) << "a short file is not rewritten on load";
  }
}

TEST(ConfigFile, LongFileCountsWithItsFirstBlockAndIsSavedAtTheExactSize) {
  Disk disk;
  const Bytes image = ConfigImage(5, 3);
  Bytes file = image;
  file.resize(kConfigBlockSize + 5000, 0xEE);
  disk.files.files[kConfigPath] = file;
  auto block = std::make_unique<ConfigBlock>();
  LoadConfig(disk.env, *block);
  EXPECT_EQ(ImageOf(*block), image);
  ASSERT_TRUE(SaveConfig(disk.env, *block));
  EXPECT_EQ(disk.files.files[kConfigPath], image);
}

TEST(ConfigFile, SlotOutsideTheFourBecomesZeroAndEverythingElseIsKept) {
  for (std::int32_t slot : {-1, 4, 0x7FFFFFFF}) {
    Disk disk;
    const Bytes image = ConfigImage(21, slot);
    disk.files.files[kConfigPath] = image;
    auto block = std::make_unique<ConfigBlock>();
    fakes::TraceRecorder traces;
    LoadConfig(disk.env, *block);
    EXPECT_EQ(block->header.activeSlot, 0);
    EXPECT_TRUE(traces.Contains(u"active slot out of range; slot 0 is used\n"));
    Bytes expected = image;
    std::memset(expected.data(), 0, 4);
    EXPECT_EQ(ImageOf(*block), expected);
  }
}

TEST(ConfigFile, FailedSaveKeepsTheOldFileAndTheBlock) {
  // Step 0 checks the folder; 1 writes the temporary file; 2 moves it over.
  for (int failing : {1, 2}) {
    Disk disk;
    const Bytes old = ConfigImage(1, 0);
    disk.files.files[kConfigPath] = old;
    disk.files.FailStep(failing);
    auto block = std::make_unique<ConfigBlock>();
    MakeDefaultBlock(*block);
    const Bytes before = ImageOf(*block);
    fakes::TraceRecorder traces;
    EXPECT_FALSE(SaveConfig(disk.env, *block));
    EXPECT_EQ(disk.files.files[kConfigPath], old);
    EXPECT_FALSE(disk.files.HasFile(TemporaryPathFor(kConfigPath)));
    EXPECT_EQ(ImageOf(*block), before);
    EXPECT_TRUE(traces.Contains(u"Config.data could not be written; the previous file is kept\n"));
  }
}

// A crash after any number of steps leaves the old file or the new one, whole,
// and the next start loads one of them.
TEST(ConfigFile, SaveInterruptedAtEveryStepLeavesAWholeFile) {
  const Bytes old = ConfigImage(100, 1);
  const Bytes fresh = ConfigImage(200, 2);
  bool sawOld = false;
  bool sawNew = false;
  for (int crash = 0; crash <= 6; ++crash) {
    Disk disk;
    disk.files.files[kConfigPath] = old;
    disk.files.CrashAfterSteps(crash);
    auto block = std::make_unique<ConfigBlock>();
    std::memcpy(block.get(), fresh.data(), fresh.size());
    SaveConfig(disk.env, *block);

    ASSERT_TRUE(disk.files.HasFile(kConfigPath)) << "crash after " << crash;
    const Bytes& onDisk = disk.files.files[kConfigPath];
    ASSERT_TRUE(onDisk == old || onDisk == fresh) << "crash after " << crash;
    sawOld |= onDisk == old;
    sawNew |= onDisk == fresh;

    disk.files.Restart();
    auto loaded = std::make_unique<ConfigBlock>();
    LoadConfig(disk.env, *loaded);
    EXPECT_EQ(ImageOf(*loaded), onDisk);
  }
  EXPECT_TRUE(sawOld);
  EXPECT_TRUE(sawNew);
}

// --- SoftWare.data -----------------------------------------------------------

TEST(ProfileLibraryFile, ThreeRecordsLoadInOrderAndSaveIdentically) {
  Disk disk;
  const Bytes file = Pattern(3 * kProfileRecordSize, 9);
  disk.files.files[kLibraryPath] = file;
  ProfileLibrary library;
  LoadProfileLibrary(disk.env, library, nullptr);
  ASSERT_EQ(library.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(
        0, std::memcmp(library[i].get(), file.data() + i * kProfileRecordSize, kProfileRecordSize));
  }
  disk.files.files.clear();
  ASSERT_TRUE(SaveProfileLibrary(disk.env, library));
  EXPECT_EQ(disk.files.files[kLibraryPath], file);
  EXPECT_EQ(disk.files.files.size(), 1u);
}

TEST(ProfileLibraryFile, MissingFileMakesOneNamedDefaultRecordAndSavesIt) {
  Disk disk;
  ProfileLibrary library;
  EXPECT_EQ(LoadProfileLibrary(disk.env, library, [] { return std::u16string(u"Standard"); }),
            ReadResult::kNotFound);
  ASSERT_EQ(library.size(), 1u);
  auto expected = std::make_unique<ProfileRecord>();
  MakeDefaultProfile(*expected, 0);
  std::memcpy(expected->name, u"Standard", sizeof(u"Standard"));
  EXPECT_EQ(ImageOf(*library[0]), ImageOf(*expected));
  EXPECT_EQ(disk.files.files[kLibraryPath], ImageOf(*expected));
}

TEST(ProfileLibraryFile, UnreadableFileGivesOneDefaultRecordButIsNotWritten) {
  Disk disk;
  const Bytes old = Pattern(2 * kProfileRecordSize, 6);
  disk.files.files[kLibraryPath] = old;
  disk.files.unreadable.insert(kLibraryPath);
  ProfileLibrary library;
  fakes::TraceRecorder traces;
  EXPECT_EQ(LoadProfileLibrary(disk.env, library, [] { return std::u16string(u"Standard"); }),
            ReadResult::kFailed);
  ASSERT_EQ(library.size(), 1u);
  EXPECT_EQ(std::u16string(library[0]->name), u"Standard");
  EXPECT_EQ(library[0]->selectedFunction, 1);
  EXPECT_EQ(disk.files.files[kLibraryPath], old);
  EXPECT_EQ(disk.files.files.size(), 1u);
  EXPECT_TRUE(traces.Contains(
      u"SoftWare.data could not be read; a default profile is used and the file is kept\n"));
}

TEST(ProfileLibraryFile, DefaultRecordNameIsCutTo249CharactersOrFallsBack) {
  {
    Disk disk;
    ProfileLibrary library;
    LoadProfileLibrary(disk.env, library, [] { return std::u16string(400, u'x'); });
    ASSERT_EQ(library.size(), 1u);
    EXPECT_EQ(std::u16string(library[0]->name), std::u16string(249, u'x'));
    EXPECT_EQ(library[0]->appPath[0], u'\0');
  }
  for (DefaultProfileNameSource source :
       {DefaultProfileNameSource(),
        DefaultProfileNameSource([] { return std::optional<std::u16string>(); }),
        DefaultProfileNameSource([] { return std::optional<std::u16string>(u""); })}) {
    Disk disk;
    ProfileLibrary library;
    LoadProfileLibrary(disk.env, library, source);
    ASSERT_EQ(library.size(), 1u);
    EXPECT_EQ(std::u16string(library[0]->name), u"Default");
  }
}

TEST(ProfileLibraryFile, EmptyFileIsAnEmptyLibraryAndSavesEmpty) {
  Disk disk;
  disk.files.files[kLibraryPath] = {};
  ProfileLibrary library;
  LoadProfileLibrary(disk.env, library, nullptr);
  EXPECT_TRUE(library.empty());
  disk.files.files.clear();
  ASSERT_TRUE(SaveProfileLibrary(disk.env, library));
  ASSERT_TRUE(disk.files.HasFile(kLibraryPath));
  EXPECT_TRUE(disk.files.files[kLibraryPath].empty());
}

TEST(ProfileLibraryFile, PartialLastRecordIsZeroFilledAndKept) {
  for (std::size_t tail : {std::size_t{1}, std::size_t{1000}, kProfileRecordSize - 1}) {
    Disk disk;
    const Bytes file = Pattern(2 * kProfileRecordSize + tail, 4);
    disk.files.files[kLibraryPath] = file;
    ProfileLibrary library;
    fakes::TraceRecorder traces;
    LoadProfileLibrary(disk.env, library, nullptr);
    ASSERT_EQ(library.size(), 3u);
    EXPECT_FALSE(traces.traces.empty());

    ASSERT_TRUE(SaveProfileLibrary(disk.env, library));
    Bytes expected = file;
    expected.resize(3 * kProfileRecordSize, 0);
    EXPECT_EQ(disk.files.files[kLibraryPath], expected);
  }
}

TEST(ProfileLibraryFile, ReadARecordAtATimeAndAsFarAsMemoryAllows) {
  Disk disk;
  const Bytes file = Pattern(5 * kProfileRecordSize, 3);
  disk.files.files[kLibraryPath] = file;
  {
    ProfileLibrary library;
    EXPECT_EQ(LoadProfileLibrary(disk.env, library, nullptr), ReadResult::kRead);
    EXPECT_EQ(library.size(), 5u);
    EXPECT_LE(disk.files.largestRead, kProfileRecordSize);
  }
  // Memory runs out while the third record is read: two records, the file kept.
  Disk tight;
  tight.files.files[kLibraryPath] = file;
  tight.files.readerOutOfMemoryAt = 2;
  ProfileLibrary library;
  fakes::TraceRecorder traces;
  EXPECT_EQ(LoadProfileLibrary(tight.env, library, nullptr), ReadResult::kFailed);
  ASSERT_EQ(library.size(), 2u);
  EXPECT_EQ(0, std::memcmp(library[1].get(), file.data() + kProfileRecordSize, kProfileRecordSize));
  EXPECT_TRUE(traces.Contains(
      u"SoftWare.data does not fit in memory; the records read are used and the file is kept\n"));
  EXPECT_EQ(tight.files.files[kLibraryPath], file);
}

}  // namespace
}  // namespace torvo
