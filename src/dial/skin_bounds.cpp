#include "dial/skin_bounds.h"

#include <algorithm>
#include <cmath>

namespace torvo {
namespace {

// The overlap of [left, right) x [top, bottom) with [0, width) x [0, height),
// in 64 bits so that no 32-bit extreme overflows; none when empty.
std::optional<ButtonRect> Clip(const ButtonRect& rect, int width, int height) {
  const std::int64_t left = std::max<std::int64_t>(rect.left, 0);
  const std::int64_t top = std::max<std::int64_t>(rect.top, 0);
  const std::int64_t right = std::min<std::int64_t>(rect.right, width);
  const std::int64_t bottom = std::min<std::int64_t>(rect.bottom, height);
  if (left >= right || top >= bottom) return std::nullopt;
  return ButtonRect{static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
                    static_cast<std::int32_t>(right), static_cast<std::int32_t>(bottom)};
}

std::uint32_t U16(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8);
}

std::uint32_t U32(const std::uint8_t* p) {
  return U16(p) | (U16(p + 2) << 16);
}

constexpr std::uint32_t kFileHeaderBytes = 14;
constexpr std::uint32_t kCoreHeaderBytes = 12;
constexpr std::uint32_t kInfoHeaderBytes = 40;
constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
constexpr std::uint32_t kBitfields = 3;
constexpr std::uint32_t kAlphaBitfields = 6;

}  // namespace

ButtonPlacementResult PlaceButton(const ButtonRect& rect, int dialWidth, int dialHeight) {
  const std::optional<ButtonRect> window = rect.right <= rect.left || rect.bottom <= rect.top
                                               ? std::nullopt
                                               : Clip(rect, dialWidth, dialHeight);
  if (!window) {
    const auto hold = [](std::int32_t corner, int size) {
      return static_cast<std::int32_t>(std::clamp<std::int64_t>(corner, 0, size));
    };
    const std::int32_t left = hold(rect.left, dialWidth);
    const std::int32_t top = hold(rect.top, dialHeight);
    return {ButtonPlacement{{left, top, left, top}, 0, 0}, false};
  }
  // The window starts at the rectangle's corner or inside it, so these are
  // at most 0.
  const auto maskOffset = [](std::int64_t corner, std::int64_t start) {
    return static_cast<int>(std::max<std::int64_t>(corner - start, -kMaxSkinPictureSide));
  };
  return {ButtonPlacement{*window, maskOffset(rect.left, window->left),
                          maskOffset(rect.top, window->top)},
          true};
}

std::optional<CutOut> CutOutOf(const ButtonRect& window, int pictureWidth, int pictureHeight) {
  const std::optional<ButtonRect> source = Clip(window, pictureWidth, pictureHeight);
  if (!source) return std::nullopt;
  return CutOut{*source, static_cast<int>(std::int64_t{source->left} - window.left),
                static_cast<int>(std::int64_t{source->top} - window.top)};
}

std::optional<int> RenderedImageSide(double side) {
  // Written so that a NaN fails too.
  if (!(side > 0.0)) return std::nullopt;
  if (side >= kMaxSkinPictureSide) return kMaxSkinPictureSide;
  return std::max(1, static_cast<int>(std::lround(side)));
}

bool LooksLikeBitmapFile(const std::uint8_t* bytes, std::size_t count) {
  return count >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
}

BitmapFileCheck CheckBitmapFile(const std::uint8_t* bytes, std::size_t count,
                                std::uint64_t fileSize) {
  BitmapFileCheck check;
  if (!LooksLikeBitmapFile(bytes, count) || count < kFileHeaderBytes + kCoreHeaderBytes) {
    return check;
  }
  const std::uint64_t pixelOffset = U32(bytes + 10);
  const std::uint8_t* info = bytes + kFileHeaderBytes;
  const std::uint32_t infoSize = U32(info);
  std::int64_t width = 0;
  std::int64_t height = 0;
  std::uint32_t planes = 0;
  std::uint32_t bitCount = 0;
  std::uint32_t compression = kRgb;
  std::uint64_t imageSize = 0;
  if (infoSize == kCoreHeaderBytes) {
    width = U16(info + 4);
    height = U16(info + 6);
    planes = U16(info + 8);
    bitCount = U16(info + 10);
  } else if (infoSize >= kInfoHeaderBytes && count >= kFileHeaderBytes + kInfoHeaderBytes) {
    width = static_cast<std::int32_t>(U32(info + 4));
    height = static_cast<std::int32_t>(U32(info + 8));
    planes = U16(info + 12);
    bitCount = U16(info + 14);
    compression = U32(info + 16);
    imageSize = U32(info + 20);
  } else {
    return check;
  }
  // A negative height is a top-down bitmap.
  if (height < 0) height = -height;
  if (width <= 0 || height == 0 || planes != 1) return check;
  if (width > kMaxSkinPictureSide || height > kMaxSkinPictureSide) {
    check.verdict = BitmapFileVerdict::kTooLarge;
    return check;
  }
  std::uint64_t pixelBytes = 0;
  if (compression == kRgb || compression == kBitfields || compression == kAlphaBitfields) {
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32) {
      return check;
    }
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bitCount + 31) / 32 * 4;
    pixelBytes = stride * static_cast<std::uint64_t>(height);
  } else if (compression == kRle8 || compression == kRle4) {
    if (imageSize == 0) return check;
    pixelBytes = imageSize;
  }
  check.width = static_cast<int>(width);
  check.height = static_cast<int>(height);
  check.verdict = pixelOffset + pixelBytes > fileSize ? BitmapFileVerdict::kTruncated
                                                      : BitmapFileVerdict::kAccepted;
  return check;
}

}  // namespace torvo
