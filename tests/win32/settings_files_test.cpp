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

}  // namespace
}  // namespace torvo::testing
