#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/tray.h"
#include "fakes.h"

namespace torvo {
namespace {

TEST(TrayTest, TipIsCutTo127CodeUnitsWithoutSplittingAPair) {
  EXPECT_EQ(TrayTipText(u"Torvo"), u"Torvo");
  EXPECT_EQ(TrayTipText(u""), u"");
  const std::u16string exact(127, u'a');
  EXPECT_EQ(TrayTipText(exact), exact);
  EXPECT_EQ(TrayTipText(std::u16string(128, u'b')), std::u16string(127, u'b'));
  EXPECT_EQ(TrayTipText(std::u16string(259, u'c')).size(), 127u);
  // A pair at units 126/127 does not fit whole: it is left out entirely.
  const std::u16string pairAtEnd = std::u16string(126, u'd') + u"\U0001F600" + u"e";
  EXPECT_EQ(TrayTipText(pairAtEnd), std::u16string(126, u'd'));
  // A pair that fits whole stays.
  const std::u16string pairInside = std::u16string(125, u'd') + u"\U0001F600" + u"e";
  EXPECT_EQ(TrayTipText(pairInside), std::u16string(125, u'd') + u"\U0001F600");
}

TEST(TrayTest, OnlyLeftAndRightButtonDownDoAnything) {
  EXPECT_EQ(TrayActionFor(0x0201), TrayMouseAction::kRaiseAndOpenConfigurator);
  EXPECT_EQ(TrayActionFor(0x0204), TrayMouseAction::kShowMenu);
  for (const std::intptr_t other : {0x0200, 0x0202, 0x0203, 0x0205, 0x0206, 0x0207, 0x0000}) {
    EXPECT_EQ(TrayActionFor(other), TrayMouseAction::kNone) << other;
  }
  // Not a mouse message with extra bits in the high half.
  EXPECT_EQ(TrayActionFor(0x00660201), TrayMouseAction::kNone);
}

TEST(TrayTest, RunningConfiguratorIsRaisedAndNothingStarted) {
  fakes::TraceRecorder traces;
  fakes::RecordingDesktop desktop;
  desktop.windows[u"Vistrane"] = 77;
  std::vector<WindowHandle> raised;
  OpenOrRaiseConfigurator(
      desktop, [&](WindowHandle window) { raised.push_back(window); }, u"C:\\Suite\\");
  EXPECT_EQ(raised, std::vector<WindowHandle>{77});
  EXPECT_TRUE(desktop.startedPrograms.empty());
  const std::vector<std::u16string> expected = {u"CMonitorWnd OnCustomizer\n",
                                                u"CMonitorWnd OnCustomizer hWnd!=NULL\n"};
  EXPECT_EQ(traces.traces, expected);
}

TEST(TrayTest, MissingConfiguratorIsStartedFromTheProgramFolder) {
  fakes::TraceRecorder traces;
  fakes::RecordingDesktop desktop;
  desktop.windows[u"Vistrane (old)"] = 5;  // titles match exactly only
  int raised = 0;
  OpenOrRaiseConfigurator(
      desktop, [&](WindowHandle) { ++raised; }, u"C:\\Suite\\");
  EXPECT_EQ(raised, 0);
  EXPECT_EQ(desktop.startedPrograms, std::vector<std::u16string>{u"C:\\Suite\\Config.exe"});
  const std::vector<std::u16string> expected = {u"CMonitorWnd OnCustomizer\n",
                                                u"CMonitorWnd OnCustomizer hWnd==NULL\n"};
  EXPECT_EQ(traces.traces, expected);
}

}  // namespace
}  // namespace torvo
