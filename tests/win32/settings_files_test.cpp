// The settings files as Torvo.exe leaves them in the user's settings folder.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "settings/win32/file_system_win32.h"
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

// Another program reading the settings file for a moment must not make a
// save fail: the file is replaced once the reader lets go.
TEST(Win32FileSystemTest, AReaderHoldingTheFileForAMomentDoesNotLoseTheSave) {
  wchar_t folder[MAX_PATH] = {};
  ASSERT_GT(GetTempPathW(MAX_PATH, folder), 0u);
  const std::wstring target = std::wstring(folder) + L"torvo_move_target.data";
  const std::wstring temporary = target + L".tmp";
  auto write = [](const std::wstring& path, const char* text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
    CloseHandle(file);
  };
  write(target, "old");
  write(temporary, "new");
  // A reader that does not share deletion, as a plain fopen does.
  HANDLE reader = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  if (MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    CloseHandle(reader);
    DeleteFileW(target.c_str());
    GTEST_SKIP() << "this platform replaces a file that is open without delete sharing";
  }
  std::thread release([reader] {
    Sleep(60);
    CloseHandle(reader);
  });
  Win32FileSystem fileSystem;
  const bool moved =
      fileSystem.MoveFileOver(std::u16string(reinterpret_cast<const char16_t*>(temporary.c_str())),
                              std::u16string(reinterpret_cast<const char16_t*>(target.c_str())));
  release.join();
  EXPECT_TRUE(moved);
  HANDLE file = CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char content[8] = {};
  DWORD read = 0;
  ReadFile(file, content, sizeof(content) - 1, &read, nullptr);
  CloseHandle(file);
  EXPECT_STREQ(content, "new");
  DeleteFileW(target.c_str());
  DeleteFileW(temporary.c_str());
}

}  // namespace
}  // namespace torvo::testing
