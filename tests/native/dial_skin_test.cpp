// The skin description (button rectangles, image and mask paths) and what
// the dial draws for the function it shows.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "dial/dial_plan.h"
#include "dial/skin_description.h"
#include "fakes.h"

namespace torvo {
namespace {

TEST(ParseButtonPosTest, LabelThenFourNumbersAsScanned) {
  EXPECT_EQ(ParseButtonPos(u"volume,12,30,40,52"), (ButtonRect{12, 30, 52, 82}));
  // Without a label the first number is taken as one.
  EXPECT_EQ(ParseButtonPos(u"12,30,40,52"), (ButtonRect{30, 40, 82, 40}));
  EXPECT_EQ(ParseButtonPos(u"label,5,6"), (ButtonRect{5, 6, 5, 6}));
  EXPECT_EQ(ParseButtonPos(u"label, 5,\t6, 7, 8"), (ButtonRect{5, 6, 12, 14}));
  EXPECT_EQ(ParseButtonPos(u"label,5,6,7,8,extra,text"), (ButtonRect{5, 6, 12, 14}));
  EXPECT_EQ(ParseButtonPos(u""), (ButtonRect{}));
  EXPECT_EQ(ParseButtonPos(u"label"), (ButtonRect{}));
  EXPECT_EQ(ParseButtonPos(u"a,b,c"), (ButtonRect{}));
  // A comma must follow a number directly; a sign belongs to the number.
  EXPECT_EQ(ParseButtonPos(u"l,5 ,6,7,8"), (ButtonRect{5, 0, 5, 0}));
  EXPECT_EQ(ParseButtonPos(u"l,-5,+6,10,x"), (ButtonRect{-5, 6, 5, 6}));
  EXPECT_EQ(ParseButtonPos(u"l,1,2,3px,4"), (ButtonRect{1, 2, 4, 2}));
}

TEST(ParseButtonPosTest, HugeNumbersStayWithin32Bits) {
  EXPECT_EQ(ParseButtonPos(u"l,2147483647,0,10,99999999999999999999"),
            (ButtonRect{2147483647, 0, 2147483647, 2147483647}));
  EXPECT_EQ(ParseButtonPos(u"l,-2147483648,-5,-10,0"),
            (ButtonRect{-2147483647 - 1, -5, -2147483647 - 1, -5}));
}

class MapIni final : public SkinIni {
 public:
  std::u16string GetString(std::u16string_view section, std::u16string_view key) override {
    auto it = values.find(std::u16string(section) + u"/" + std::u16string(key));
    return it == values.end() ? std::u16string() : it->second;
  }
  std::map<std::u16string, std::u16string> values;
};

TEST(SkinDescriptionTest, PathsAreTheFolderFollowedByTheValuesAsTheyStand) {
  MapIni ini;
  ini.values[u"SCREEN/Mask"] = u"dial.png";
  ini.values[u"SCREEN/Normal"] = u"normal.bmp";
  ini.values[u"SCREEN/Over"] = u"over.bmp";
  ini.values[u"SCREEN/Down"] = u"down.bmp";
  ini.values[u"SCREEN/Disable"] = u"off.bmp";
  ini.values[u"SCREEN/Torv0"] = u"c0.png";
  ini.values[u"SCREEN/Torv3"] = u"100%.png";
  ini.values[u"SCREEN/Button8"] = u"s8.png";
  ini.values[u"BUTTONPOS/3"] = u"updown,10,20,30,40";
  const std::u16string folder = u"C:\\prog\\skins\\";
  const SkinDescription skin = ReadSkinDescription(folder, ini);

  EXPECT_EQ(skin.statePicturePaths[0], folder + u"normal.bmp");
  EXPECT_EQ(skin.statePicturePaths[3], folder + u"off.bmp");
  EXPECT_EQ(skin.dialImagePath, folder + u"dial.png");
  EXPECT_EQ(skin.centreImagePaths[0], folder + u"c0.png");
  EXPECT_EQ(skin.centreImagePaths[3], folder + u"100%.png");
  // A missing key leaves the folder itself, which then fails to load.
  EXPECT_EQ(skin.centreImagePaths[1], folder);
  EXPECT_EQ(skin.segmentImagePaths[8], folder + u"s8.png");

  const std::u16string masks[8] = {
      u"yinliang_mask.bmp", u"intensity_mask.bmp",    u"updown_mask.bmp", u"leftright_mask.bmp",
      u"kuohao_mask.bmp",   u"scrollupdown_mask.bmp", u"fangda_mask.bmp", u"page_mask.bmp"};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(skin.buttons[i].maskPath, folder + masks[i]);
  EXPECT_EQ(skin.buttons[2].rect, (ButtonRect{10, 20, 40, 60}));
  EXPECT_EQ(skin.buttons[0].rect, (ButtonRect{}));
}

TEST(SkinDescriptionTest, ImagePathsOf500CharactersOrMoreAreRefusedWithATrace) {
  fakes::TraceRecorder traces;
  MapIni ini;
  const std::u16string folder = u"C:\\skins\\";                // 9 characters
  ini.values[u"SCREEN/Mask"] = std::u16string(490, u'a');      // 499 in all: kept
  ini.values[u"SCREEN/Torv2"] = std::u16string(491, u'b');     // 500: refused
  ini.values[u"SCREEN/Button4"] = std::u16string(4095, u'c');  // refused
  const SkinDescription skin = ReadSkinDescription(folder, ini);
  ASSERT_TRUE(skin.dialImagePath.has_value());
  EXPECT_EQ(skin.dialImagePath->size(), 499u);
  EXPECT_FALSE(skin.centreImagePaths[2].has_value());
  EXPECT_FALSE(skin.segmentImagePaths[4].has_value());
  EXPECT_TRUE(skin.centreImagePaths[1].has_value());
  EXPECT_EQ(std::count(traces.traces.begin(), traces.traces.end(),
                       u"A skin image path of 500 characters or more is refused\n"),
            2);
}

// ---------------------------------------------------------------------------
// What the dial draws

DialImagesPresent AllImages() {
  DialImagesPresent present;
  present.dial = true;
  present.centre.fill(true);
  present.segment.fill(true);
  return present;
}

TEST(DialPlanTest, FunctionAndPreviewChooseCentreAndOverlay) {
  const DialDraw dial{DialImageKind::kDial, 0, {0, 0, 185}};
  const auto centre = [](int n) { return DialDraw{DialImageKind::kCentre, n, {47, 47, 91}}; };
  const auto segment = [](int n) { return DialDraw{DialImageKind::kSegment, n, {0, 0, 185}}; };
  const DialImagesPresent all = AllImages();
  EXPECT_EQ(PlanDial(3, 0, all), (std::vector<DialDraw>{dial, centre(3), segment(3)}));
  EXPECT_EQ(PlanDial(3, 1, all), (std::vector<DialDraw>{dial, centre(0), segment(3)}));
  EXPECT_EQ(PlanDial(0, 0, all), (std::vector<DialDraw>{dial, centre(0)}));
  EXPECT_EQ(PlanDial(0, 1, all), (std::vector<DialDraw>{dial, centre(0)}));
  EXPECT_EQ(PlanDial(8, 0, all), (std::vector<DialDraw>{dial, centre(8), segment(8)}));
  // A stored function outside 1..8 shows as none.
  for (int bad : {-1, 9, 200, 255, -2147483647 - 1}) {
    EXPECT_EQ(PlanDial(bad, 0, all), (std::vector<DialDraw>{dial, centre(0)})) << bad;
  }
}

TEST(DialPlanTest, MissingImagesAreLeftOut) {
  DialImagesPresent present = AllImages();
  present.segment[5] = false;
  EXPECT_EQ(PlanDial(5, 0, present),
            (std::vector<DialDraw>{{DialImageKind::kDial, 0, kWholeDial},
                                   {DialImageKind::kCentre, 5, kCentreSquare}}));
  present.centre[0] = false;
  EXPECT_EQ(PlanDial(6, 1, present),
            (std::vector<DialDraw>{{DialImageKind::kDial, 0, kWholeDial},
                                   {DialImageKind::kSegment, 6, kWholeDial}}));
  // Without the dial image there is nothing to draw at all.
  present.dial = false;
  EXPECT_TRUE(PlanDial(3, 0, present).empty());
}

}  // namespace
}  // namespace torvo
