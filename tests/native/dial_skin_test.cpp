// The skin description (button rectangles, image and mask paths) and what
// the dial draws for the function it shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <vector>
#include <string>

#include "dial/dial_plan.h"
#include "dial/skin_bounds.h"
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
  ini.values[u"SCREEN/Over"] = std::u16string(4095, u'd');     // refused
  const SkinDescription skin = ReadSkinDescription(folder, ini);
  EXPECT_FALSE(skin.statePicturePaths[1].has_value());
  EXPECT_EQ(skin.statePicturePaths[2], folder);
  ASSERT_TRUE(skin.dialImagePath.has_value());
  EXPECT_EQ(skin.dialImagePath->size(), 499u);
  EXPECT_FALSE(skin.centreImagePaths[2].has_value());
  EXPECT_FALSE(skin.segmentImagePaths[4].has_value());
  EXPECT_TRUE(skin.centreImagePaths[1].has_value());
  EXPECT_EQ(std::count(traces.traces.begin(), traces.traces.end(),
                       u"A skin image path of 500 characters or more is refused\n"),
            3);
}

// ---------------------------------------------------------------------------
// What the skin's rectangles and bitmap files may make

TEST(SkinBoundsTest, ButtonWindowIsTheRectangleKeptToTheDial) {
  constexpr std::int32_t kMin = -2147483647 - 1;
  constexpr std::int32_t kMax = 2147483647;
  struct Case {
    ButtonRect rect;
    ButtonPlacement expected;
    bool onDial;
  };
  const Case cases[] = {
      // On the dial: the rectangle itself, the mask at its corner.
      {{12, 30, 52, 82}, {{12, 30, 52, 82}, 0, 0}, true},
      {{0, 0, 185, 185}, {{0, 0, 185, 185}, 0, 0}, true},
      {{184, 184, 185, 185}, {{184, 184, 185, 185}, 0, 0}, true},
      // Over the edges and many times the dial: kept to it, the mask stays
      // on the rectangle's corner.
      {{-50, -20, 30, 40}, {{0, 0, 30, 40}, -50, -20}, true},
      {{100, 170, 4000, 9000}, {{100, 170, 185, 185}, 0, 0}, true},
      {{-700, -740, 20000, 20000}, {{0, 0, 185, 185}, -700, -740}, true},
      {{-10000, -741, 20000, 20000}, {{0, 0, 185, 185}, -740, -740}, true},
      {{kMin, kMin, kMax, kMax}, {{0, 0, 185, 185}, -740, -740}, true},
      // No pixel on the dial, or no size: a window of no size at the
      // rectangle's corner, held to the dial.
      {{185, 0, 300, 50}, {{185, 0, 185, 0}, 0, 0}, false},
      {{0, 185, 50, 300}, {{0, 185, 0, 185}, 0, 0}, false},
      {{-40, 10, 0, 50}, {{0, 10, 0, 10}, 0, 0}, false},
      {{10, -40, 50, 0}, {{10, 0, 10, 0}, 0, 0}, false},
      {{0, 0, 0, 0}, {{0, 0, 0, 0}, 0, 0}, false},
      {{30, 40, 30, 90}, {{30, 40, 30, 40}, 0, 0}, false},
      {{30, 40, 20, 90}, {{30, 40, 30, 40}, 0, 0}, false},
      {{30, 40, 90, 10}, {{30, 40, 30, 40}, 0, 0}, false},
      {{kMax, kMax, kMax, kMax}, {{185, 185, 185, 185}, 0, 0}, false},
      {{kMin, kMin, kMin, kMin}, {{0, 0, 0, 0}, 0, 0}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PlaceButton(c.rect, 185, 185), (ButtonPlacementResult{c.expected, c.onDial}))
        << c.rect.left << "," << c.rect.top << "," << c.rect.right << "," << c.rect.bottom;
  }
}

TEST(SkinBoundsTest, ScalableImageIsRenderedAtItsOwnSideHeldToTheBound) {
  const struct {
    double side;
    std::optional<int> expected;
  } cases[] = {
      {91.0, 91},          {90.6, 91},           {0.2, 1},
      {739.6, 740},        {740.0, 740},         {1e12, 740},
      {0.0, std::nullopt}, {-5.0, std::nullopt}, {std::nan(""), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(RenderedImageSide(c.side), c.expected) << c.side;
}

TEST(SkinBoundsTest, CutOutIsThePartOfTheWindowOnItsPicture) {
  // The window (10, 20, 60, 50) on a picture that holds it: all of it.
  EXPECT_EQ(CutOutOf({10, 20, 60, 50}, 185, 185), (CutOut{{10, 20, 60, 50}, 0, 0}));
  // A smaller picture: only what lies on it, at its place in the window.
  EXPECT_EQ(CutOutOf({100, 100, 185, 185}, 120, 150), (CutOut{{100, 100, 120, 150}, 0, 0}));
  EXPECT_EQ(CutOutOf({0, 0, 185, 185}, 185, 185), (CutOut{{0, 0, 185, 185}, 0, 0}));
  EXPECT_EQ(CutOutOf({-5, -7, 10, 10}, 185, 185), (CutOut{{0, 0, 10, 10}, 5, 7}));
  EXPECT_EQ(CutOutOf({120, 0, 185, 185}, 120, 150), std::nullopt);
  EXPECT_EQ(CutOutOf({0, 150, 10, 185}, 120, 150), std::nullopt);
  EXPECT_EQ(CutOutOf({10, 10, 50, 50}, 0, 0), std::nullopt);
}

// A BMP's first 54 bytes: the file header and a 40-byte info header.
std::vector<std::uint8_t> BmpHeader(std::int32_t width, std::int32_t height, int bitCount,
                                    std::uint32_t compression = 0, std::uint32_t imageSize = 0) {
  std::vector<std::uint8_t> bytes(54, 0);
  const auto put = [&](std::size_t at, std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  bytes[0] = 'B';
  bytes[1] = 'M';
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, static_cast<std::uint32_t>(width), 4);
  put(22, static_cast<std::uint32_t>(height), 4);
  put(26, 1, 2);
  put(28, static_cast<std::uint32_t>(bitCount), 2);
  put(30, compression, 4);
  put(34, imageSize, 4);
  return bytes;
}

TEST(SkinBoundsTest, BitmapFilesAreCheckedFromTheirHeader) {
  using V = BitmapFileVerdict;
  struct Case {
    std::vector<std::uint8_t> header;
    std::uint64_t fileSize;
    V verdict;
  };
  // 30 x 30 at 24 bits: rows of 92 bytes, 2760 bytes of pixels.
  const Case cases[] = {
      {BmpHeader(30, 30, 24), 54 + 2760, V::kAccepted},
      {BmpHeader(30, -30, 24), 54 + 2760, V::kAccepted},
      {BmpHeader(30, 30, 24), 54 + 2759, V::kTruncated},
      {BmpHeader(30, 30, 24), 54, V::kTruncated},
      {BmpHeader(740, 740, 32), 54 + 740 * 740 * 4, V::kAccepted},
      {BmpHeader(741, 10, 32), 54 + 741 * 10 * 4, V::kTooLarge},
      {BmpHeader(10, 741, 32), 54 + 741 * 10 * 4, V::kTooLarge},
      {BmpHeader(100000, 100000, 24), 54 + 2760, V::kTooLarge},
      {BmpHeader(30, -2147483647 - 1, 24), 1000, V::kTooLarge},
      {BmpHeader(0, 30, 24), 1000, V::kNotABitmap},
      {BmpHeader(-30, 30, 24), 1000, V::kNotABitmap},
      {BmpHeader(30, 0, 24), 1000, V::kNotABitmap},
      {BmpHeader(30, 30, 7), 10000, V::kNotABitmap},
      {BmpHeader(30, 30, 8, 1, 500), 54 + 500, V::kAccepted},  // run-length coded
      {BmpHeader(30, 30, 8, 1, 500), 54 + 499, V::kTruncated},
      {BmpHeader(30, 30, 8, 1, 0), 10000, V::kNotABitmap},
      {{'B', 'M', 0, 0}, 4, V::kNotABitmap},
      {{}, 0, V::kNotABitmap},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    EXPECT_EQ(CheckBitmapFile(c.header.data(), c.header.size(), c.fileSize).verdict, c.verdict)
        << "case " << i;
  }
  std::vector<std::uint8_t> notBmp = BmpHeader(30, 30, 24);
  notBmp[0] = 'P';
  EXPECT_EQ(CheckBitmapFile(notBmp.data(), notBmp.size(), 54 + 2760).verdict, V::kNotABitmap);
  const BitmapFileCheck topDown = CheckBitmapFile(BmpHeader(30, -20, 24).data(), 54, 54 + 1840);
  EXPECT_EQ(topDown.width, 30);
  EXPECT_EQ(topDown.height, 20);
  // The small header of the oldest format: 16-bit sizes.
  std::vector<std::uint8_t> core(26, 0);
  core[0] = 'B';
  core[1] = 'M';
  core[10] = 26;
  core[14] = 12;
  core[18] = 0xE8;  // 1000
  core[19] = 0x03;
  core[20] = 4;
  core[22] = 1;
  core[24] = 24;
  EXPECT_EQ(CheckBitmapFile(core.data(), core.size(), 1 << 20).verdict, V::kTooLarge);
  core[18] = 4;
  core[19] = 0;
  EXPECT_EQ(CheckBitmapFile(core.data(), core.size(), 26 + 48).verdict, V::kAccepted);
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

TEST(DialPlanTest, VisibleBoxHoldsEveryPixelWithAlphaAndNoMore) {
  // A 7 x 5 picture in rows of 9 pixels (the two last of each row are not
  // the picture's and hold alpha that must be ignored).
  constexpr int kWidth = 7;
  constexpr int kHeight = 5;
  constexpr std::ptrdiff_t kStep = 9;
  const auto boxOf = [](std::initializer_list<std::pair<int, int>> visible,
                        std::uint32_t colourOfTransparent) {
    std::vector<std::uint32_t> pixels(kStep * kHeight, colourOfTransparent);
    for (int y = 0; y < kHeight; ++y) pixels[static_cast<std::size_t>(y * kStep + 8)] = 0xFF000000u;
    for (const auto& [x, y] : visible) {
      pixels[static_cast<std::size_t>(y * kStep + x)] = 0x01000000u;  // the least alpha
    }
    return VisibleBox(pixels.data(), kWidth, kHeight, kStep);
  };
  // Colour without alpha is invisible.
  EXPECT_EQ(boxOf({}, 0x00FFFFFFu), std::nullopt);
  EXPECT_EQ(boxOf({{3, 2}}, 0), (PixelBox{3, 2, 1, 1}));
  EXPECT_EQ(boxOf({{1, 3}, {5, 1}}, 0x00123456u), (PixelBox{1, 1, 5, 3}));
  // The corners of the picture.
  EXPECT_EQ(boxOf({{0, 0}, {6, 4}}, 0), (PixelBox{0, 0, 7, 5}));
  EXPECT_EQ(boxOf({{6, 0}}, 0), (PixelBox{6, 0, 1, 1}));
  EXPECT_EQ(boxOf({{0, 4}}, 0), (PixelBox{0, 4, 1, 1}));
  // Rows may run backwards in memory (a bottom-up picture).
  std::vector<std::uint32_t> bottomUp(kStep * kHeight, 0);
  bottomUp[static_cast<std::size_t>(4 * kStep + 2)] = 0x80FFFFFFu;  // the first row, last in memory
  EXPECT_EQ(VisibleBox(bottomUp.data() + 4 * kStep, kWidth, kHeight, -kStep),
            (PixelBox{2, 0, 1, 1}));
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
