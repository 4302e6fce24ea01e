// The settings files as Torvo.exe leaves them in the user's settings folder.
#include <gtest/gtest.h>

#include <cstring>

#include "harness.h"
#include "hiddriver/client/virtual_keyboard.h"
#include "settings/config_block.h"

namespace torvo::testing {
namespace {

constexpr DWORD kStartTimeoutMs = 20000;
constexpr DWORD kExitTimeoutMs = 5000;

class SettingsFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EndStrayInstances();
    ASSERT_TRUE(keyboard.Create(true));
  }

  // One run of the program: start, wait for the end of creation, exit.
  void RunOnce(TorvoProcess& torvo) {
    const int launchesBefore = folder.LaunchCount(L"OSD.exe");
    ASSERT_TRUE(torvo.Start(folder));
    ASSERT_TRUE(
        WaitUntil([&] { return folder.LaunchCount(L"OSD.exe") > launchesBefore; }, kStartTimeoutMs))
        << torvo.Traces();
    ASSERT_TRUE(torvo.WaitForMainWindow(kStartTimeoutMs));
    ASSERT_TRUE(PostMessageW(torvo.MainWindow(), WM_COMMAND, 6002, 0));
    ASSERT_TRUE(torvo.WaitForExit(kExitTimeoutMs));
  }

  vkb::VirtualKeyboard keyboard;
  ProgramFolder folder;
  SettingsArea area;
};

TEST_F(SettingsFilesTest, FirstStartCreatesTheFolderWithDefaultFiles) {
  ASSERT_FALSE(area.Exists());
  TorvoProcess torvo;
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
  TorvoProcess first;
  RunOnce(first);
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

}  // namespace
}  // namespace torvo::testing
