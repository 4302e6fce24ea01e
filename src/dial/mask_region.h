// The shape of a sector button from its mask picture: every maximal run of
// non-white pixels in a row becomes a rectangle one pixel high. The
// rectangles collect in a buffer laid out as the platform's region data
// (header, bound, rectangles), which the Win32 side turns into regions in
// batches of at most kMaxBatchRects rectangles and ORs together.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace torvo {

struct MaskRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  friend bool operator==(const MaskRect&, const MaskRect&) = default;
};

// White is exactly (255, 255, 255) in the blue, green and red bytes; the
// fourth byte of a pixel is not looked at.
inline bool IsWhitePixel(const std::uint8_t* pixel) {
  return pixel[0] == 0xFF && pixel[1] == 0xFF && pixel[2] == 0xFF;
}

// The growing rectangle buffer, in region-data layout, little-endian:
//   0 header size (32), 4 type (1 = rectangles), 8 count, 12 region size (0),
//   16 bound (left, top, right, bottom), 32 the rectangles.
// It starts with room for 100 rectangles and grows by 100 when full.
class RegionBuilder {
 public:
  static constexpr std::uint32_t kCapacityStep = 100;
  static constexpr std::size_t kHeaderBytes = 32;
  static constexpr std::size_t kRectBytes = 16;

  RegionBuilder();

  void Add(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
    if (count_ == capacity_) Grow();
    std::int32_t* rect = rects_ + 4 * static_cast<std::size_t>(count_);
    rect[0] = left;
    rect[1] = top;
    rect[2] = right;
    rect[3] = bottom;
    bound_.left = left < bound_.left ? left : bound_.left;
    bound_.top = top < bound_.top ? top : bound_.top;
    bound_.right = right > bound_.right ? right : bound_.right;
    bound_.bottom = bottom > bound_.bottom ? bottom : bound_.bottom;
    ++count_;
  }
  // Forgets the rectangles (count 0, bound empty) and keeps the capacity.
  void Clear();

  std::uint32_t Count() const { return count_; }
  std::uint32_t Capacity() const { return capacity_; }
  MaskRect Bound() const { return bound_; }
  MaskRect At(std::uint32_t index) const;
  // The whole buffer, header and every rectangle slot: 32 + 16 x capacity,
  // with the count and the bound written into its header.
  const void* Data();
  std::size_t SizeBytes() const { return kHeaderBytes + kRectBytes * capacity_; }

 private:
  static constexpr std::size_t kHeaderWords = kHeaderBytes / 4;
  static constexpr std::size_t kCountWord = 2;
  static constexpr std::size_t kBoundWord = 4;
  void Grow();

  std::vector<std::int32_t> words_;
  std::int32_t* rects_ = nullptr;  // the first rectangle slot in `words_`
  MaskRect bound_;
  std::uint32_t count_ = 0;
  std::uint32_t capacity_ = 0;
};

// A 32-bit pixel buffer as the scan sees it: `topRow` points at the first
// byte of the image's top row and `rowStep` is the distance in bytes from one
// row to the next one down (negative for a bottom-up bitmap, whose top row
// is the last in memory).
struct MaskPixels {
  const std::uint8_t* topRow = nullptr;
  std::ptrdiff_t rowStep = 0;
  int width = 0;
  int height = 0;
};

// No more rectangles than this go into one region.
inline constexpr std::uint32_t kMaxBatchRects = 2000;

// Scans the rows top to bottom, adding each maximal run [x0, x1) of
// non-white pixels of row y as (x0, y, x1, y + 1). Whenever the builder
// holds kMaxBatchRects rectangles, and once more after the last row (even
// when it is empty then), `flush` receives the builder, which is cleared
// afterwards. A buffer without pixels flushes one empty batch.
void ScanMask(const MaskPixels& pixels, RegionBuilder& builder,
              const std::function<void(RegionBuilder&)>& flush);

// The pure form: every batch, as lists of rectangles.
std::vector<std::vector<MaskRect>> MaskBatches(const MaskPixels& pixels);

}  // namespace torvo
