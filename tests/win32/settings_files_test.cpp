// The settings files as Torvo.exe leaves them in the user's settings folder.
#include <gtest/gtest.h>

#include <cstring>

#include "torvo_fixture.h"
#include "settings/config_block.h"

namespace torvo::testing {
namespace {

class SettingsFilesTest : public TorvoTest {
 protected:
  // One run of the program: start, wait for the end of creation, exit.
  void RunOnce(TorvoProcess& process) {
    StartAndWaitForCreation(process);
    ExitBy(process, WM_COMMAND, 6002);
  }
};

TEST_F(SettingsFilesTest, FirstStartCreatesTheFolderWithDefaultFiles) {
  ASSERT_FALSE(area.Exists());
  RunOnce(torvo);
  ASSERT_TRUE(area.Exists());

  const std::string config = area.Read(L"Config.data");
  ASSERT_EQ(config.size(), sizeof(ConfigBlock));
  ConfigBlock block;
  std::memcpy(&block, config.data(), sizeof(block));
  EXPECT_EQ(block.header.activeSlot, 0);
  EXPECT_EQ(block.header.word1, 4);
  EXPECT_EQ(block.header.word2, 1);
  EXPECT_EQ(block.slots[0].keys[0].label[0], u'1');
  EXPECT_EQ(block.slots[3].keys[19].label[0], u'G');
  EXPECT_EQ(block.slots[2].selectedFunction, 1);

  const std::string library = area.Read(L"SoftWare.data");
  ASSERT_EQ(library.size(), sizeof(ProfileRecord));
  ProfileRecord record;
  std::memcpy(&record, library.data(), sizeof(record));
  EXPECT_EQ(std::u16string(record.name), u"Default");  // string 1111 of lan.dll
  EXPECT_EQ(record.keys[0].label[0], u'1');
}

TEST_F(SettingsFilesTest, SecondStartFindsTheFolderAndRewritesNothing) {
  RunOnce(torvo);
  const std::string config = area.Read(L"Config.data");
  const std::string library = area.Read(L"SoftWare.data");
  const auto configTime = area.WriteTime(L"Config.data");
  const auto libraryTime = area.WriteTime(L"SoftWare.data");
  ASSERT_NE(configTime, 0u);

  TorvoProcess second;
  RunOnce(second);
  EXPECT_NE(second.Traces().find("mousehid exit\n"), std::string::npos) << second.Traces();
  EXPECT_EQ(area.Read(L"Config.data"), config);
  EXPECT_EQ(area.Read(L"SoftWare.data"), library);
  EXPECT_EQ(area.WriteTime(L"Config.data"), configTime);
  EXPECT_EQ(area.WriteTime(L"SoftWare.data"), libraryTime);
}

// Another program holds Config.data open (the configurator, a backup tool,
// an editor) while the keyboard reports a value: the file cannot be replaced
// then, the save waits while the window keeps answering, and it lands soon
// after the reader lets go.
class HeldSettingsFileTest : public TorvoTest {
 protected:
  bool Answers() {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(torvo.MainWindow(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 500, &result) !=
           0;
  }
  std::int32_t SavedEventValue3000() const {
    const std::string bytes = area.Read(L"Config.data");
    if (bytes.size() != sizeof(ConfigBlock)) return -1;
    ConfigBlock block;
    std::memcpy(&block, bytes.data(), sizeof(block));
    return block.slots[0].eventValue3000;
  }

  void SaveWhileAReaderHoldsConfig(DWORD share) {
    PeerWindow configurator(L"Vistrane");
    StartAndWaitForUpload();
    const std::wstring path = area.Path() + L"Config.data";
    HANDLE reader =
        CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(keyboard.SendInputEvent(0x3000, 0x42));
    // Announced at once; the file waits.
    ASSERT_TRUE(WaitUntil([&] { return configurator.Count(1257) == 1; }, 3000));
    ASSERT_TRUE(torvo.WaitForTrace("Config.data cannot be replaced now", 3000)) << torvo.Traces();
    const ULONGLONG holdEnd = GetTickCount64() + 1500;
    while (GetTickCount64() < holdEnd) {
      EXPECT_TRUE(Answers());
      PumpFor(100);
    }
    EXPECT_EQ(SavedEventValue3000(), 0);
    CloseHandle(reader);
    ASSERT_TRUE(WaitUntil([&] { return SavedEventValue3000() == 0x42; }, 3000)) << torvo.Traces();
    EXPECT_TRUE(torvo.WaitForTrace("Config.data: the save that waited is written", 1000));
    EXPECT_TRUE(Answers());
  }
};

TEST_F(HeldSettingsFileTest, AReaderSharingReadAndWriteDelaysTheSaveUntilItLetsGo) {
  SaveWhileAReaderHoldsConfig(FILE_SHARE_READ | FILE_SHARE_WRITE);
}

TEST_F(HeldSettingsFileTest, AReaderSharingOnlyReadDelaysTheSaveUntilItLetsGo) {
  SaveWhileAReaderHoldsConfig(FILE_SHARE_READ);
}

// A reader that is still there at exit: one last try, a trace naming the
// file, and the previous file whole.
TEST_F(HeldSettingsFileTest, AReaderStillThereAtExitLeavesThePreviousFileWhole) {
  PeerWindow configurator(L"Vistrane");
  StartAndWaitForUpload();
  const std::string before = area.Read(L"Config.data");
  const std::wstring path = area.Path() + L"Config.data";
  HANDLE reader =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(keyboard.SendInputEvent(0x3000, 0x42));
  ASSERT_TRUE(torvo.WaitForTrace("Config.data cannot be replaced now", 3000)) << torvo.Traces();
  ExitBy(WM_COMMAND, 6002);
  CloseHandle(reader);
  EXPECT_NE(torvo.Traces().find("Config.data could not be written before exit; the file keeps "
                                "its previous content"),
            std::string::npos)
      << torvo.Traces();
  EXPECT_EQ(area.Read(L"Config.data"), before);
  EXPECT_EQ(area.Read(L"Config.data.tmp"), "");
}

}  // namespace
}  // namespace torvo::testing
