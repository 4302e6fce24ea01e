// The mask scan of the sector buttons and the buttons' behaviour, on pixel
// buffers made in the test and a region made from their scan.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "dial/mask_region.h"
#include "dial/rgn_button.h"

namespace torvo {
namespace {

// A 32-bit mask, top-down or laid out bottom-up as the platform's DIBs are.
class Mask {
 public:
  Mask(int width, int height, int padBytes = 0)
      : width_(width),
        height_(height),
        stride_(width * 4 + padBytes),
        bytes_(static_cast<std::size_t>(stride_) * height, 0xFF) {}

  void Set(int x, int y, std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t a = 0) {
    std::uint8_t* p = Row(y) + 4 * x;
    p[0] = b;
    p[1] = g;
    p[2] = r;
    p[3] = a;
  }
  void Black(int x, int y) { Set(x, y, 0, 0, 0); }

  MaskPixels Pixels() { return {Row(0), bottomUp_ ? -stride_ : stride_, width_, height_}; }
  void StoreBottomUp() { bottomUp_ = true; }

 private:
  std::uint8_t* Row(int y) {
    const int memoryRow = bottomUp_ ? height_ - 1 - y : y;
    return bytes_.data() + static_cast<std::ptrdiff_t>(memoryRow) * stride_;
  }
  int width_;
  int height_;
  std::ptrdiff_t stride_;
  std::vector<std::uint8_t> bytes_;
  bool bottomUp_ = false;
};

std::vector<MaskRect> AllRects(const std::vector<std::vector<MaskRect>>& batches) {
  std::vector<MaskRect> all;
  for (const auto& batch : batches) all.insert(all.end(), batch.begin(), batch.end());
  return all;
}

TEST(MaskScanTest, RunsOfNonWhitePixelsBecomeOnePixelHighRectangles) {
  {
    Mask mask(3, 1);
    mask.Black(1, 0);
    const auto batches = MaskBatches(mask.Pixels());
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0], (std::vector<MaskRect>{{1, 0, 2, 1}}));
  }
  {
    // Rows are never merged; a row without white is one run; several runs
    // of a row come left to right; padding after a row is not scanned.
    Mask mask(5, 3, 8);
    for (int x = 0; x < 5; ++x) {
      mask.Black(x, 0);
      mask.Black(x, 1);
    }
    mask.Black(0, 2);
    mask.Black(2, 2);
    mask.Black(3, 2);
    const std::vector<MaskRect> expected = {{0, 0, 5, 1}, {0, 1, 5, 2}, {0, 2, 1, 3}, {2, 2, 4, 3}};
    EXPECT_EQ(AllRects(MaskBatches(mask.Pixels())), expected);
  }
}

TEST(MaskScanTest, WhiteIsExactlyThreeBytesOf255WhateverTheFourth) {
  Mask mask(6, 1);
  mask.Set(0, 0, 254, 255, 255);
  mask.Set(1, 0, 255, 255, 255, 0x00);
  mask.Set(2, 0, 255, 254, 255);
  mask.Set(3, 0, 255, 255, 255, 0x7F);
  mask.Set(4, 0, 255, 255, 254);
  mask.Set(5, 0, 255, 255, 255, 0xFF);
  const std::vector<MaskRect> expected = {{0, 0, 1, 1}, {2, 0, 3, 1}, {4, 0, 5, 1}};
  EXPECT_EQ(AllRects(MaskBatches(mask.Pixels())), expected);
}

TEST(MaskScanTest, BottomUpBufferIsScannedFromItsTopRow) {
  Mask mask(2, 3);
  mask.StoreBottomUp();
  mask.Black(1, 0);  // top row, last in memory
  mask.Black(0, 2);
  const std::vector<MaskRect> expected = {{1, 0, 2, 1}, {0, 2, 1, 3}};
  EXPECT_EQ(AllRects(MaskBatches(mask.Pixels())), expected);
}

TEST(MaskScanTest, AllWhiteAndEmptyMasksGiveOneEmptyBatch) {
  Mask white(4, 4);
  const auto batches = MaskBatches(white.Pixels());
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_TRUE(batches[0].empty());
  EXPECT_EQ(MaskBatches(MaskPixels{}).size(), 1u);
}

TEST(MaskScanTest, ManyRunsGoInBatchesOf2000AndTheBufferGrowsBy100) {
  // 4000 one-pixel runs: 100 rows of 40 runs, every other pixel black.
  Mask mask(80, 100);
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 80; x += 2) mask.Black(x, y);
  }
  RegionBuilder builder;
  EXPECT_EQ(builder.Capacity(), 100u);
  EXPECT_EQ(builder.SizeBytes(), 1632u);
  std::vector<std::uint32_t> counts;
  std::vector<MaskRect> bounds;
  std::vector<MaskRect> rects;
  ScanMask(mask.Pixels(), builder, [&](RegionBuilder& batch) {
    counts.push_back(batch.Count());
    bounds.push_back(batch.Bound());
    EXPECT_EQ(batch.SizeBytes(), 32u + 16u * batch.Capacity());
    // The buffer is laid out as region data.
    const auto* words = static_cast<const std::int32_t*>(batch.Data());
    EXPECT_EQ(words[0], 32);
    EXPECT_EQ(words[1], 1);
    EXPECT_EQ(static_cast<std::uint32_t>(words[2]), batch.Count());
    EXPECT_EQ(words[3], 0);
    const MaskRect bound = batch.Bound();
    EXPECT_EQ((MaskRect{words[4], words[5], words[6], words[7]}), bound);
    if (batch.Count() > 0) {
      EXPECT_EQ((MaskRect{words[8], words[9], words[10], words[11]}), batch.At(0));
    }
    for (std::uint32_t i = 0; i < batch.Count(); ++i) rects.push_back(batch.At(i));
  });
  EXPECT_EQ(counts, (std::vector<std::uint32_t>{2000, 2000, 0}));
  EXPECT_EQ(builder.Capacity(), 2000u);
  // Each batch's bound covers its own rows; the empty batch has the empty bound.
  EXPECT_EQ(bounds[0], (MaskRect{0, 0, 79, 50}));
  EXPECT_EQ(bounds[1], (MaskRect{0, 50, 79, 100}));
  EXPECT_EQ(bounds[2], (MaskRect{0x7FFFFFFF, 0x7FFFFFFF, 0, 0}));
  ASSERT_EQ(rects.size(), 4000u);
  EXPECT_EQ(rects[0], (MaskRect{0, 0, 1, 1}));
  EXPECT_EQ(rects[3999], (MaskRect{78, 99, 79, 100}));
  // One more run than a batch holds: the last batch has it alone.
  Mask more(4001 * 2, 1);
  for (int x = 0; x < 4001 * 2; x += 2) more.Black(x, 0);
  const auto batches = MaskBatches(more.Pixels());
  ASSERT_EQ(batches.size(), 3u);
  EXPECT_EQ(batches[2], (std::vector<MaskRect>{{8000, 0, 8001, 1}}));
}

// The scan's rectangles, worked out pixel by pixel.
std::vector<MaskRect> ReferenceRuns(const MaskPixels& pixels) {
  std::vector<MaskRect> rects;
  for (int y = 0; y < pixels.height; ++y) {
    const std::uint8_t* row = pixels.topRow + y * pixels.rowStep;
    int start = -1;
    for (int x = 0; x <= pixels.width; ++x) {
      const bool inside = x < pixels.width && !IsWhitePixel(row + 4 * x);
      if (inside && start < 0) start = x;
      if (!inside && start >= 0) {
        rects.push_back({start, y, x, y + 1});
        start = -1;
      }
    }
  }
  return rects;
}

TEST(MaskScanTest, RunsAcrossWordBoundariesAndRandomMasksMatchAPixelByPixelScan) {
  // Rows of 63, 64, 65, 128 and 130 pixels with runs that cross 64-pixel
  // boundaries or reach the row's end.
  for (int width : {1, 2, 63, 64, 65, 128, 130}) {
    Mask mask(width, 3, 4);
    for (int x = 0; x < width; ++x) mask.Black(x, 0);
    for (int x = width / 2; x < width; ++x) mask.Black(x, 1);
    for (int x = 0; x < width; x += 3) mask.Black(x, 2);
    EXPECT_EQ(AllRects(MaskBatches(mask.Pixels())), ReferenceRuns(mask.Pixels())) << width;
  }
  std::uint32_t seed = 7;
  const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  for (int round = 0; round < 200; ++round) {
    const int width = 1 + static_cast<int>(next() % 200);
    const int height = 1 + static_cast<int>(next() % 6);
    const int density = static_cast<int>(next() % 5);
    Mask mask(width, height);
    if (round % 2 == 1) mask.StoreBottomUp();
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        if (static_cast<int>(next() % 4) < density) {
          // Near-white values and a varying fourth byte.
          const std::uint8_t v = static_cast<std::uint8_t>(next() % 3 == 0 ? 254 : next());
          mask.Set(x, y, next() % 2 ? v : 255, next() % 2 ? v : 255, v,
                   static_cast<std::uint8_t>(next()));
        } else {
          mask.Set(x, y, 255, 255, 255, static_cast<std::uint8_t>(next()));
        }
      }
    }
    ASSERT_EQ(AllRects(MaskBatches(mask.Pixels())), ReferenceRuns(mask.Pixels()))
        << "round " << round << " width " << width;
  }
}

TEST(MaskScanTest, BufferGrowsOnlyWhenFull) {
  RegionBuilder builder;
  for (int i = 0; i < 100; ++i) builder.Add(i, 0, i + 1, 1);
  EXPECT_EQ(builder.Capacity(), 100u);
  builder.Add(100, 0, 101, 1);
  EXPECT_EQ(builder.Capacity(), 200u);
  EXPECT_EQ(builder.At(0), (MaskRect{0, 0, 1, 1}));
  EXPECT_EQ(builder.At(100), (MaskRect{100, 0, 101, 1}));
  builder.Clear();
  EXPECT_EQ(builder.Count(), 0u);
  EXPECT_EQ(builder.Capacity(), 200u);
}

// ---------------------------------------------------------------------------
// Buttons

// A region made of the rectangles of a mask scan.
class ScannedRegion final : public ButtonRegion {
 public:
  explicit ScannedRegion(const MaskPixels& pixels) : rects_(AllRects(MaskBatches(pixels))) {}
  bool Contains(int x, int y) const override {
    for (const MaskRect& r : rects_) {
      if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
    }
    return false;
  }

 private:
  std::vector<MaskRect> rects_;
};

using E = ButtonEffect;

class RgnButtonTest : public ::testing::Test {
 protected:
  // A 10 x 10 button whose shape is its left half.
  RgnButtonTest() : mask_(10, 10) {
    for (int y = 0; y < 10; ++y) {
      for (int x = 0; x < 5; ++x) mask_.Black(x, y);
    }
    region_ = std::make_unique<ScannedRegion>(mask_.Pixels());
    button.SetRegion(region_.get());
  }

  static MoveContext Hovering() {
    MoveContext context;
    context.activeWindowExists = true;
    context.hasOwnerOrParent = true;
    context.underPointer = MoveContext::UnderPointer::kSelf;
    return context;
  }
  static MoveContext Captured(MoveContext::UnderPointer under) {
    MoveContext context = Hovering();
    context.captureHeldBySelf = true;
    context.underPointer = under;
    return context;
  }

  Mask mask_;
  std::unique_ptr<ScannedRegion> region_;
  RgnButtonLogic button;
};

TEST_F(RgnButtonTest, ClickInsideCommandsAfterTheHoverLeaveIsPostedAndEndsNormal) {
  EXPECT_EQ(button.OnMouseMove(2, 2, Hovering()),
            (ButtonEffects{E::kDefault, E::kPostHoverEnter, E::kSetCapture, E::kInvalidate}));
  EXPECT_EQ(button.state, kStateOver);
  EXPECT_EQ(button.OnLButtonDown(2, 2),
            (ButtonEffects{E::kSetCapture, E::kInvalidate, E::kDefault}));
  EXPECT_EQ(button.state, kStateDown);
  EXPECT_EQ(button.tracking, 1);
  // The hover message is posted before the command is sent, so the parent
  // receives the command first.
  EXPECT_EQ(button.OnLButtonUp(2, 2, true),
            (ButtonEffects{E::kPostHoverLeave, E::kReleaseCapture, E::kInvalidate, E::kDefault,
                           E::kSendCommand}));
  EXPECT_EQ(button.state, kStateNormal);
  EXPECT_EQ(button.tracking, 0);
  // Still on the button, without the capture: the next move is a new enter.
  EXPECT_EQ(button.OnMouseMove(2, 3, Hovering()),
            (ButtonEffects{E::kDefault, E::kPostHoverEnter, E::kSetCapture, E::kInvalidate}));
  EXPECT_EQ(button.state, kStateOver);
}

TEST_F(RgnButtonTest, PressInsideReleaseOutsideSendsNoCommand) {
  button.OnLButtonDown(1, 1);
  MoveContext dragging = Captured(MoveContext::UnderPointer::kOther);
  dragging.leftButtonDown = true;
  // Dragging out only turns `hot` off; the pressed state stays.
  button.hot = 1;
  EXPECT_EQ(button.OnMouseMove(8, 1, dragging), (ButtonEffects{E::kInvalidate, E::kDefault}));
  EXPECT_EQ(button.hot, 0);
  EXPECT_EQ(button.state, kStateDown);
  EXPECT_EQ(button.OnMouseMove(9, 1, dragging), (ButtonEffects{E::kDefault}));
  EXPECT_EQ(button.OnLButtonUp(8, 1, true),
            (ButtonEffects{E::kPostHoverLeave, E::kReleaseCapture, E::kInvalidate, E::kDefault}));
  EXPECT_EQ(button.state, kStateNormal);
}

TEST_F(RgnButtonTest, PressOutsideTheShapeDoesNotPressTheButton) {
  button.state = kStateOver;
  button.OnLButtonDown(7, 7);
  EXPECT_EQ(button.state, kStateOver);
  EXPECT_EQ(button.tracking, 1);
  EXPECT_EQ(button.OnLButtonUp(2, 2, true).back(), E::kSendCommand);
  // Without a parent nothing is sent.
  button.OnLButtonDown(2, 2);
  EXPECT_EQ(button.OnLButtonUp(2, 2, false).back(), E::kDefault);
}

TEST_F(RgnButtonTest, DoubleClickCountsAsASecondPress) {
  button.OnLButtonDown(3, 3);
  EXPECT_EQ(button.OnLButtonUp(3, 3, true).back(), E::kSendCommand);
  // WM_LBUTTONDBLCLK takes the press handler.
  button.OnLButtonDown(3, 3);
  EXPECT_EQ(button.state, kStateDown);
  EXPECT_EQ(button.OnLButtonUp(3, 3, true).back(), E::kSendCommand);
}

TEST_F(RgnButtonTest, PointerLeavingWhileCapturedPostsLeave) {
  button.OnMouseMove(2, 2, Hovering());
  // Still over the button (the capture is ours): nothing new.
  EXPECT_EQ(button.OnMouseMove(3, 2, Captured(MoveContext::UnderPointer::kSelf)),
            (ButtonEffects{E::kDefault}));
  EXPECT_EQ(button.OnMouseMove(40, 2, Captured(MoveContext::UnderPointer::kNone)),
            (ButtonEffects{E::kDefault}));
  EXPECT_EQ(button.state, kStateOver);
  EXPECT_EQ(button.OnMouseMove(40, 2, Captured(MoveContext::UnderPointer::kOther)),
            (ButtonEffects{E::kDefault, E::kPostHoverLeave, E::kInvalidate, E::kReleaseCapture}));
  EXPECT_EQ(button.state, kStateNormal);
}

TEST_F(RgnButtonTest, NoHoverWithoutAnActiveWindowOrAParent) {
  MoveContext inactive = Hovering();
  inactive.activeWindowExists = false;
  EXPECT_EQ(button.OnMouseMove(2, 2, inactive), (ButtonEffects{E::kDefault}));
  EXPECT_EQ(button.state, kStateNormal);
  MoveContext orphan = Hovering();
  orphan.hasOwnerOrParent = false;
  EXPECT_EQ(button.OnMouseMove(2, 2, orphan), (ButtonEffects{E::kDefault}));
  EXPECT_EQ(button.state, kStateNormal);
}

TEST_F(RgnButtonTest, ButtonWithoutShapeNeverPressesNorCommandsButHovers) {
  RgnButtonLogic unshaped;
  unshaped.OnLButtonDown(2, 2);
  EXPECT_EQ(unshaped.state, kStateNormal);
  EXPECT_EQ(unshaped.OnLButtonUp(2, 2, true).back(), E::kDefault);
  unshaped.OnMouseMove(2, 2, Hovering());
  EXPECT_EQ(unshaped.state, kStateOver);
}

TEST_F(RgnButtonTest, PaintFollowsEnablingAndFallsBackToTheNormalImage) {
  const StateImages all = {true, true, true, true};
  button.state = kStateDown;
  EXPECT_EQ(button.OnPaint(true, all), kStateDown);
  EXPECT_EQ(button.OnPaint(false, all), kStateDisabled);
  EXPECT_EQ(button.state, kStateDisabled);
  EXPECT_EQ(button.OnPaint(true, all), kStateNormal);
  EXPECT_EQ(button.state, kStateNormal);
  // A state without its image paints the normal one, or nothing.
  button.state = kStateOver;
  EXPECT_EQ(button.OnPaint(true, {true, false, true, true}), kStateNormal);
  EXPECT_EQ(button.OnPaint(true, {false, false, true, true}), -1);
  button.state = 7;
  EXPECT_EQ(button.OnPaint(true, all), kStateNormal);
}

TEST(RgnWndTest, PlainShapedWindowShowsDownWhileHotAndTracking) {
  Mask mask(4, 4);
  mask.Black(0, 0);
  ScannedRegion region(mask.Pixels());
  RgnWndLogic window;
  window.SetRegion(&region);
  const StateImages all = {true, true, true, true};
  window.OnLButtonDown(0, 0);
  EXPECT_EQ(window.OnPaint(true, all), kStateDown);
  EXPECT_EQ(window.OnMouseMove(3, 3, {}), (ButtonEffects{E::kInvalidate, E::kDefault}));
  EXPECT_EQ(window.OnPaint(true, all), kStateNormal);
  EXPECT_EQ(window.OnMouseMove(3, 2, {}), (ButtonEffects{E::kDefault}));
  window.OnMouseMove(0, 0, {});
  window.OnLButtonUp(0, 0, true);
  EXPECT_EQ(window.hot, 0);
  EXPECT_EQ(window.OnPaint(true, all), kStateNormal);
}

}  // namespace
}  // namespace torvo
