// Bounds on what the skin's files can make the program build. The button
// rectangles, the state pictures and the masks come from files anyone can
// edit: a rectangle is kept to the part of it that lies on the dial, a
// cut-out to the part that lies on its picture, and a bitmap file is checked
// from its header before anything of the size it claims is made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "dial/dial_plan.h"
#include "dial/skin_description.h"

namespace torvo {

// No state picture or mask wider or taller than this is loaded: four times
// the dial on either side leaves any real skin room and keeps one 32-bit
// copy of a picture within about 2 MiB.
inline constexpr int kMaxSkinPictureSide = 4 * kDialSize;
// No picture file larger than this is read into memory.
inline constexpr std::uint32_t kMaxSkinPictureFileBytes = 16u * 1024u * 1024u;

// Where a sector button goes on a dial of dialWidth x dialHeight: its window
// is the part of its rectangle on the dial, and the mask's top-left pixel
// stays on the rectangle's top-left corner, at (maskLeft, maskTop) in the
// window's client coordinates (negative when the rectangle starts off the
// dial). A corner further off than kMaxSkinPictureSide is held there: no
// mask that may be loaded reaches the window from either place.
struct ButtonPlacement {
  ButtonRect window;
  int maskLeft = 0;
  int maskTop = 0;
  friend bool operator==(const ButtonPlacement&, const ButtonPlacement&) = default;
};

// Every rectangle places a window. One with a non-positive width or height,
// or with no pixel on the dial, gets a window of no size at its top-left
// corner held to the dial: it exists and never receives input. `onDial`
// tells the two apart.
struct ButtonPlacementResult {
  ButtonPlacement placement;
  bool onDial = false;
  friend bool operator==(const ButtonPlacementResult&, const ButtonPlacementResult&) = default;
};
ButtonPlacementResult PlaceButton(const ButtonRect& rect, int dialWidth, int dialHeight);

// The part of a pictureWidth x pictureHeight state picture under a button's
// window rectangle: `source` in picture coordinates, landing at (left, top)
// in the window. None when they do not overlap.
struct CutOut {
  ButtonRect source;
  int left = 0;
  int top = 0;
  friend bool operator==(const CutOut&, const CutOut&) = default;
};
std::optional<CutOut> CutOutOf(const ButtonRect& window, int pictureWidth, int pictureHeight);

// The side, in pixels, at which a scalable (metafile) image is rendered
// once into a bitmap: its own side, rounded, and held to 1 ..
// kMaxSkinPictureSide, since it is drawn scaled onto its square anyway and a
// file may claim any size. None for a side that is not a positive number.
std::optional<int> RenderedImageSide(double side);

// What the start of a bitmap file says about it.
enum class BitmapFileVerdict {
  kAccepted,
  kNotABitmap,  // no "BM" file header or an info header that makes no sense
  kTooLarge,    // wider or taller than kMaxSkinPictureSide
  kTruncated,   // the file is shorter than its header says
};
struct BitmapFileCheck {
  BitmapFileVerdict verdict = BitmapFileVerdict::kNotABitmap;
  int width = 0;
  int height = 0;  // rows, whatever the row order
};

// Checks a BMP file from its first `count` bytes (the file header and the
// info header: 54 bytes are enough) and its whole size in bytes.
BitmapFileCheck CheckBitmapFile(const std::uint8_t* bytes, std::size_t count,
                                std::uint64_t fileSize);
// Whether the bytes start like a BMP file ("BM").
bool LooksLikeBitmapFile(const std::uint8_t* bytes, std::size_t count);

}  // namespace torvo
