// Arbitrary skin input: button rectangle values as the skin file may hold
// them, kept to the dial; the start of a bitmap file; and arbitrary mask pixels of any size and row
// padding. A rectangle is always the four scanned numbers kept within 32 bits; the mask scan reads
// only inside the pixel buffer and yields exactly the runs of non-white pixels, in batches of at
// most 2000.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "dial/mask_region.h"
#include "dial/skin_bounds.h"
#include "dial/skin_description.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  // Rectangle values: the input as UTF-16 text.
  std::u16string value;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    value.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  const torvo::ButtonRect rect = torvo::ParseButtonPos(value);
  // Whatever the rectangle, a button's window and its cut-out lie on the
  // dial and the picture; the header check reads only what it is given.
  {
    const auto [placement, onDial] = torvo::PlaceButton(rect, 185, 185);
    const torvo::ButtonRect& w = placement.window;
    Check(w.left >= 0 && w.top >= 0 && w.right <= 185 && w.bottom <= 185);
    Check(onDial ? w.left < w.right && w.top < w.bottom : w.left == w.right && w.top == w.bottom);
    Check(placement.maskLeft <= 0 && placement.maskTop <= 0);
    if (const auto cut = torvo::CutOutOf(w, 1 + data[0], 1 + data[1])) {
      Check(cut->source.right <= 1 + data[0] && cut->source.bottom <= 1 + data[1]);
      Check(cut->left >= 0 && cut->top >= 0);
    }
  }
  const torvo::BitmapFileCheck bitmap = torvo::CheckBitmapFile(data, size, size);
  if (bitmap.verdict == torvo::BitmapFileVerdict::kAccepted) {
    Check(bitmap.width <= torvo::kMaxSkinPictureSide &&
          bitmap.height <= torvo::kMaxSkinPictureSide);
  }

  // A mask: width and height from the first bytes, the rest as pixels, a
  // copy sized exactly so that any read past it is caught.
  const int width = 1 + data[0] % 150;
  const int padding = 4 * (data[1] % 3);
  const std::size_t stride = static_cast<std::size_t>(width) * 4 + padding;
  const std::size_t available = size - 3;
  const int height = static_cast<int>(available / stride);
  if (height == 0) return 0;
  std::vector<std::uint8_t> pixels(data + 3, data + 3 + stride * static_cast<std::size_t>(height));
  const bool bottomUp = (data[2] & 1) != 0;
  torvo::MaskPixels mask;
  mask.topRow = pixels.data() + (bottomUp ? stride * static_cast<std::size_t>(height - 1) : 0);
  mask.rowStep =
      bottomUp ? -static_cast<std::ptrdiff_t>(stride) : static_cast<std::ptrdiff_t>(stride);
  mask.width = width;
  mask.height = height;

  std::size_t index = 0;
  std::vector<torvo::MaskRect> expected;
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = mask.topRow + y * mask.rowStep;
    int start = -1;
    for (int x = 0; x <= width; ++x) {
      const bool inside = x < width && !torvo::IsWhitePixel(row + 4 * x);
      if (inside && start < 0) start = x;
      if (!inside && start >= 0) {
        expected.push_back({start, y, x, y + 1});
        start = -1;
      }
    }
  }
  const auto batches = torvo::MaskBatches(mask);
  Check(!batches.empty());
  for (const auto& batch : batches) {
    Check(batch.size() <= torvo::kMaxBatchRects);
    for (const torvo::MaskRect& r : batch) {
      Check(index < expected.size() && r == expected[index]);
      ++index;
    }
  }
  Check(index == expected.size());
  return 0;
}
