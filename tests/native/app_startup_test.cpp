#include <gtest/gtest.h>

#include "app/startup.h"

namespace torvo {
namespace {

TEST(StartupTest, OnlyTheFirstCharacterOfTheArgumentCounts) {
  EXPECT_TRUE(IsConfiguratorRequested(u"1"));
  EXPECT_TRUE(IsConfiguratorRequested(u"123"));
  EXPECT_FALSE(IsConfiguratorRequested(u"21"));
  EXPECT_FALSE(IsConfiguratorRequested(u""));
  EXPECT_FALSE(IsConfiguratorRequested(u" 1"));
  EXPECT_TRUE(IsConfiguratorRequested(std::u16string(500, u'1')));
}

TEST(StartupTest, ArgumentTextFollowsTheProgramName) {
  EXPECT_EQ(ArgumentText(u"\"C:\\Program Files\\Torvo\\Torvo.exe\" 1"), u"1");
  EXPECT_EQ(ArgumentText(u"Torvo.exe   123 x"), u"123 x");
  EXPECT_EQ(ArgumentText(u"Torvo.exe"), u"");
  EXPECT_EQ(ArgumentText(u"\"C:\\a b\\Torvo.exe\""), u"");
  EXPECT_EQ(ArgumentText(u"\"unterminated 1"), u"");
  EXPECT_EQ(ArgumentText(u""), u"");
}

TEST(StartupTest, ProgramFolderEndsWithABackslash) {
  EXPECT_EQ(FolderOfPath(u"C:\\Apps\\Torvo\\Torvo.exe"), u"C:\\Apps\\Torvo\\");
  EXPECT_EQ(FolderOfPath(u"Z:\\Torvo.exe"), u"Z:\\");
  EXPECT_EQ(FolderOfPath(u"C:Torvo.exe"), u"C:");
  EXPECT_EQ(FolderOfPath(u"Torvo.exe"), u"");
  EXPECT_EQ(OsdProgramPath(u"C:\\Apps\\"), u"C:\\Apps\\\\OSD.exe");
}

}  // namespace
}  // namespace torvo
