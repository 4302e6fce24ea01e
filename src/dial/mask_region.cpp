#include "dial/mask_region.h"

#include <array>
#include <bit>
#include <cstring>
#include <limits>

namespace torvo {

namespace {
constexpr MaskRect kEmptyBound = {std::numeric_limits<std::int32_t>::max(),
                                  std::numeric_limits<std::int32_t>::max(), 0, 0};
}  // namespace

RegionBuilder::RegionBuilder() : bound_(kEmptyBound) {
  capacity_ = kCapacityStep;
  words_.assign(kHeaderWords + 4 * static_cast<std::size_t>(capacity_), 0);
  words_[0] = static_cast<std::int32_t>(kHeaderBytes);
  words_[1] = 1;  // rectangles
  rects_ = words_.data() + kHeaderWords;
}

void RegionBuilder::Grow() {
  capacity_ += kCapacityStep;
  words_.resize(kHeaderWords + 4 * static_cast<std::size_t>(capacity_), 0);
  rects_ = words_.data() + kHeaderWords;
}

void RegionBuilder::Clear() {
  count_ = 0;
  bound_ = kEmptyBound;
}

const void* RegionBuilder::Data() {
  words_[kCountWord] = static_cast<std::int32_t>(count_);
  words_[kBoundWord + 0] = bound_.left;
  words_[kBoundWord + 1] = bound_.top;
  words_[kBoundWord + 2] = bound_.right;
  words_[kBoundWord + 3] = bound_.bottom;
  return words_.data();
}

MaskRect RegionBuilder::At(std::uint32_t index) const {
  const std::int32_t* rect = rects_ + 4 * static_cast<std::size_t>(index);
  return {rect[0], rect[1], rect[2], rect[3]};
}

namespace {

// A pixel's blue, green and red bytes, as a 32-bit word read from memory.
constexpr std::uint32_t kColourBytes =
    std::bit_cast<std::uint32_t>(std::array<std::uint8_t, 4>{0xFF, 0xFF, 0xFF, 0x00});
constexpr std::uint64_t kColourPair = (std::uint64_t{kColourBytes} << 32) | kColourBytes;

inline std::uint64_t NonWhite(const std::uint8_t* pixel) {
  return (pixel[0] & pixel[1] & pixel[2]) != 0xFF ? 1 : 0;
}

// Bit i of the result is set when pixel i of the `count` (at most 64)
// pixels is not white.
inline std::uint64_t WordBits(const std::uint8_t* pixels, int count) {
  std::uint64_t word = 0;
  int i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // Two pixels at a time: a lane of (colour bytes XOR white) is non-zero,
    // at most 0xFFFFFF, exactly when its pixel is not white; adding 0xFFFFFF
    // then carries into the lane's bit 24, and never into the next lane.
    for (; i + 2 <= count; i += 2) {
      std::uint64_t pair;
      std::memcpy(&pair, pixels + 4 * i, 8);
      const std::uint64_t lanes = ((pair & kColourPair) ^ kColourPair) + kColourPair;
      const std::uint64_t two = ((lanes >> 24) & 1) | ((lanes >> 55) & 2);
      word |= two << i;
    }
  }
  for (; i < count; ++i) word |= NonWhite(pixels + 4 * i) << i;
  return word;
}

}  // namespace

void ScanMask(const MaskPixels& pixels, RegionBuilder& builder,
              const std::function<void(RegionBuilder&)>& flush) {
  const int width = pixels.topRow != nullptr && pixels.width > 0 ? pixels.width : 0;
  const int height = width > 0 && pixels.height > 0 ? pixels.height : 0;
  const int words = (width + 63) / 64;
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = pixels.topRow + static_cast<std::ptrdiff_t>(y) * pixels.rowStep;
    // Runs of set bits are runs of non-white pixels: a run starts where a
    // set bit follows a clear one and ends (exclusively) where a clear bit
    // follows a set one. Bits past the row's end are clear.
    int runStart = -1;
    std::uint64_t previousBit = 0;
    for (int w = 0; w < words; ++w) {
      const int base = w * 64;
      const std::uint64_t bits = WordBits(row + 4 * static_cast<std::ptrdiff_t>(base),
                                          width - base < 64 ? width - base : 64);
      const std::uint64_t before = (bits << 1) | previousBit;
      std::uint64_t starts = bits & ~before;
      std::uint64_t ends = ~bits & before;
      previousBit = bits >> 63;
      for (;;) {
        if (runStart < 0) {
          if (starts == 0) break;
          runStart = base + std::countr_zero(starts);
          starts &= starts - 1;
        } else {
          if (ends == 0) break;
          builder.Add(runStart, y, base + std::countr_zero(ends), y + 1);
          ends &= ends - 1;
          runStart = -1;
          if (builder.Count() == kMaxBatchRects) {
            flush(builder);
            builder.Clear();
          }
        }
      }
    }
    if (runStart >= 0) {
      builder.Add(runStart, y, width, y + 1);
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
  ScanMask(pixels, builder, [&](RegionBuilder& batch) {
    std::vector<MaskRect>& rects = batches.emplace_back();
    for (std::uint32_t i = 0; i < batch.Count(); ++i) rects.push_back(batch.At(i));
  });
  return batches;
}

}  // namespace torvo
