#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "app/startup.h"
#include "common/exception_barrier.h"
#include "fakes.h"

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

// What the system calls back (window, hook and thread procedures) never lets
// an exception through: the trace is written and the fallback answered.
TEST(ExceptionBarrierTest, ExceptionsEndInATraceAndTheFallback) {
  fakes::TraceRecorder traces;
  EXPECT_EQ(GuardedCall(u"a\n", -1, [] { return 7; }), 7);
  EXPECT_EQ(GuardedCall(u"b\n", -1, []() -> int { throw std::bad_alloc(); }), -1);
  EXPECT_EQ(GuardedCall(u"c\n", 0L, []() -> long { throw std::runtime_error("x"); }), 0L);
  EXPECT_EQ(GuardedCall(u"d\n", 5, []() -> int { throw 3; }), 5);
  EXPECT_EQ(traces.traces, (std::vector<std::u16string>{u"b\n", u"c\n", u"d\n"}));
}

}  // namespace
}  // namespace torvo
