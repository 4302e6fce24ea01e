#include "dial/mask_region.h"

#include <limits>

namespace torvo {

RegionBuilder::RegionBuilder() {
  capacity_ = kCapacityStep;
  words_.assign(kHeaderWords + 4 * static_cast<std::size_t>(capacity_), 0);
  words_[0] = static_cast<std::int32_t>(kHeaderBytes);
  words_[1] = 1;  // rectangles
  ResetBound();
}

void RegionBuilder::Grow() {
  capacity_ += kCapacityStep;
  words_.resize(kHeaderWords + 4 * static_cast<std::size_t>(capacity_), 0);
}

void RegionBuilder::ResetBound() {
  words_[kBoundWord + 0] = std::numeric_limits<std::int32_t>::max();
  words_[kBoundWord + 1] = std::numeric_limits<std::int32_t>::max();
  words_[kBoundWord + 2] = 0;
  words_[kBoundWord + 3] = 0;
}

void RegionBuilder::Clear() {
  count_ = 0;
  words_[kCountWord] = 0;
  ResetBound();
}

MaskRect RegionBuilder::Bound() const {
  return {words_[kBoundWord], words_[kBoundWord + 1], words_[kBoundWord + 2],
          words_[kBoundWord + 3]};
}

MaskRect RegionBuilder::At(std::uint32_t index) const {
  const std::int32_t* rect = words_.data() + kHeaderWords + 4 * static_cast<std::size_t>(index);
  return {rect[0], rect[1], rect[2], rect[3]};
}

void ScanMask(const MaskPixels& pixels, RegionBuilder& builder,
              const std::function<void(const RegionBuilder&)>& flush) {
  const int width = pixels.topRow != nullptr ? pixels.width : 0;
  const int height = pixels.topRow != nullptr ? pixels.height : 0;
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = pixels.topRow + static_cast<std::ptrdiff_t>(y) * pixels.rowStep;
    int x = 0;
    while (x < width) {
      // Skip white pixels, then take the run of non-white ones.
      while (x < width && IsWhitePixel(row + 4 * x)) ++x;
      if (x == width) break;
      const int x0 = x;
      while (x < width && !IsWhitePixel(row + 4 * x)) ++x;
      builder.Add(x0, y, x, y + 1);
      if (builder.Count() == kMaxBatchRects) {
        flush(builder);
        builder.Clear();
      }
    }
  }
  flush(builder);
  builder.Clear();
}

std::vector<std::vector<MaskRect>> MaskBatches(const MaskPixels& pixels) {
  std::vector<std::vector<MaskRect>> batches;
  RegionBuilder builder;
  ScanMask(pixels, builder, [&](const RegionBuilder& batch) {
    std::vector<MaskRect>& rects = batches.emplace_back();
    for (std::uint32_t i = 0; i < batch.Count(); ++i) rects.push_back(batch.At(i));
  });
  return batches;
}

}  // namespace torvo
