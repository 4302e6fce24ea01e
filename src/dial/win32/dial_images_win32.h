// The skin's dial images, decoded once: each file GDI+ can load, a bitmap of
// any pixel format or a metafile, becomes a bitmap in memory that every
// paint draws without reading the file or running its decoder again.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "dial/dial_plan.h"

namespace Gdiplus {
class GpBitmap;
class GpGraphics;
}  // namespace Gdiplus

namespace torvo::win32 {

struct DecodedImage {
  Gdiplus::GpBitmap* bitmap = nullptr;  // null when none
  // Where a sector overlay is drawn (see DecodeDialImage).
  PixelBox place;
};

// What DecodeDialImage does with the image.
enum class ImageUse {
  kWhole,    // the whole image, drawn onto its square
  kOverlay,  // an overlay of the whole dial's size keeps only its visible part
};

// Loads the file with its embedded colour management. A bitmap in a format
// GDI+ draws as it is (24- and 32-bit colour, 8-bit palette) is copied in
// that format; one in any other (1- and 4-bit palettes, 16-bit grey, CMYK,
// 48- and 64-bit colour) is converted to 32-bit premultiplied ARGB; a
// metafile is rendered once at its own size (held to the skin bound) into
// such a bitmap. For kOverlay, an image of the whole dial's size
// keeps only its visible part and `place` is that part's place on the dial;
// any other overlay is drawn over the whole dial. The bitmap is null for a
// missing, unreadable or wholly transparent overlay; `loaded` tells whether
// GDI+ loaded the file at all.
DecodedImage DecodeDialImage(const std::optional<std::u16string>& path, ImageUse use,
                             bool* loaded = nullptr);
void DisposeImage(Gdiplus::GpBitmap*& image);
// The bitmap's size in pixels; false when it cannot be read.
bool ImageSize(Gdiplus::GpBitmap* image, int& width, int& height);

// The whole image drawn onto `place`: pixel for pixel when it has the
// place's size, scaled smoothly otherwise, in the graphics' compositing
// mode.
void DrawImage(Gdiplus::GpGraphics* graphics, Gdiplus::GpBitmap* image, const PixelBox& place);

}  // namespace torvo::win32
