#include "dial/win32/dial_images_win32.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>

#include "common/win32/text_win32.h"
#include "common/trace.h"
#include "dial/skin_bounds.h"

namespace torvo::win32 {

namespace {

namespace flat = Gdiplus::DllExports;

constexpr Gdiplus::PixelFormat kDrawnFormat = PixelFormat32bppPARGB;

template <typename Image>
void Dispose(Image*& image) {
  if (image != nullptr) flat::GdipDisposeImage(image);
  image = nullptr;
}

// The size GDI+ gives the image, in pixels (for a metafile, its frame at
// its own resolution); false when it cannot be read.
bool ImageSizeOf(Gdiplus::GpImage* image, double& width, double& height) {
  UINT w = 0;
  UINT h = 0;
  if (flat::GdipGetImageWidth(image, &w) != Gdiplus::Ok ||
      flat::GdipGetImageHeight(image, &h) != Gdiplus::Ok) {
    return false;
  }
  width = w;
  height = h;
  return true;
}

// A new transparent PARGB bitmap of width x height with `image` drawn
// onto all of it: how a metafile, or a bitmap whose format cannot be read
// directly, becomes pixels. Null when it cannot be made.
Gdiplus::GpBitmap* Render(Gdiplus::GpImage* image, int width, int height) {
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (flat::GdipCreateBitmapFromScan0(width, height, 0, kDrawnFormat, nullptr, &bitmap) !=
          Gdiplus::Ok ||
      bitmap == nullptr) {
    return nullptr;
  }
  Gdiplus::GpGraphics* graphics = nullptr;
  bool drawn = false;
  if (flat::GdipGetImageGraphicsContext(bitmap, &graphics) == Gdiplus::Ok && graphics != nullptr) {
    flat::GdipGraphicsClear(graphics, 0);
    flat::GdipSetInterpolationMode(graphics, Gdiplus::InterpolationModeHighQualityBicubic);
    flat::GdipSetSmoothingMode(graphics, Gdiplus::SmoothingModeAntiAlias);
    drawn = flat::GdipDrawImageRectI(graphics, image, 0, 0, width, height) == Gdiplus::Ok;
    flat::GdipFlush(graphics, Gdiplus::FlushIntentionSync);
    flat::GdipDeleteGraphics(graphics);
  }
  if (!drawn) Dispose(bitmap);
  return bitmap;
}

// Whether GDI+ draws bitmaps of this format as they are: 24- and 32-bit
// colour and 8-bit palettes. Their copies keep the format, so that what is
// drawn is exactly what drawing the file gives.
bool DrawnAsItIs(Gdiplus::PixelFormat format) {
  return format == PixelFormat32bppARGB || format == PixelFormat32bppPARGB ||
         format == PixelFormat32bppRGB || format == PixelFormat24bppRGB ||
         format == PixelFormat8bppIndexed;
}

// The part `box` of a bitmap as a new bitmap in memory with the same pixels:
// in the bitmap's own format when GDI+ draws that as it is, converted to
// PARGB otherwise (1- and 4-bit palettes, 16-bit grey, CMYK, 48- and 64-bit
// colour...), drawn onto a new bitmap when GDI+ cannot convert the format
// directly. Null when none of that works.
Gdiplus::GpBitmap* CopyArea(Gdiplus::GpBitmap* source, const PixelBox& box) {
  Gdiplus::PixelFormat format = PixelFormatUndefined;
  if (flat::GdipGetImagePixelFormat(source, &format) != Gdiplus::Ok) return nullptr;
  if (!DrawnAsItIs(format)) format = kDrawnFormat;
  Gdiplus::GpBitmap* copy = nullptr;
  if (flat::GdipCloneBitmapAreaI(box.left, box.top, box.width, box.height, format, source, &copy) ==
          Gdiplus::Ok &&
      copy != nullptr) {
    return copy;
  }
  Dispose(copy);
  if (box.left != 0 || box.top != 0) return nullptr;
  return Render(source, box.width, box.height);
}

// The image as a bitmap in memory of its own size: a bitmap copied (see
// CopyArea), a metafile rendered into a PARGB bitmap. Null when GDI+ cannot give it a size or
// pixels.
Gdiplus::GpBitmap* ToDrawnFormat(Gdiplus::GpImage* image) {
  Gdiplus::ImageType type = Gdiplus::ImageTypeUnknown;
  double width = 0;
  double height = 0;
  if (flat::GdipGetImageType(image, &type) != Gdiplus::Ok || !ImageSizeOf(image, width, height)) {
    return nullptr;
  }
  if (type == Gdiplus::ImageTypeBitmap) {
    if (width < 1 || height < 1) return nullptr;
    return CopyArea(static_cast<Gdiplus::GpBitmap*>(image),
                    {0, 0, static_cast<int>(width), static_cast<int>(height)});
  }
  if (type == Gdiplus::ImageTypeMetafile) {
    const std::optional<int> w = RenderedImageSide(width);
    const std::optional<int> h = RenderedImageSide(height);
    if (!w || !h) return nullptr;
    if (*w < width || *h < height) {
      Trace(
          u"A scalable dial image claims a larger size than a skin picture may be; it is drawn "
          u"smaller\n");
    }
    return Render(image, *w, *h);
  }
  return nullptr;
}

// The part of a bitmap that has any alpha; the whole bitmap when its
// pixels cannot be read, none when every pixel is fully transparent.
std::optional<PixelBox> VisiblePart(Gdiplus::GpBitmap* bitmap, int width, int height) {
  const Gdiplus::Rect rect(0, 0, width, height);
  Gdiplus::BitmapData data{};
  if (flat::GdipBitmapLockBits(bitmap, &rect, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB,
                               &data) != Gdiplus::Ok) {
    return PixelBox{0, 0, width, height};
  }
  const std::optional<PixelBox> visible =
      VisibleBox(static_cast<const std::uint32_t*>(data.Scan0), width, height,
                 data.Stride / static_cast<INT>(sizeof(std::uint32_t)));
  flat::GdipBitmapUnlockBits(bitmap, &data);
  return visible;
}

}  // namespace

void DisposeImage(Gdiplus::GpBitmap*& image) {
  Dispose(image);
}

bool ImageSize(Gdiplus::GpBitmap* image, int& width, int& height) {
  UINT w = 0;
  UINT h = 0;
  if (image == nullptr || flat::GdipGetImageWidth(image, &w) != Gdiplus::Ok ||
      flat::GdipGetImageHeight(image, &h) != Gdiplus::Ok) {
    return false;
  }
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

DecodedImage DecodeDialImage(const std::optional<std::u16string>& path, ImageUse use,
                             bool* loaded) {
  DecodedImage decoded;
  decoded.place = {kWholeDial.left, kWholeDial.top, kWholeDial.size, kWholeDial.size};
  Gdiplus::GpImage* image = nullptr;
  const Gdiplus::Status status =
      path ? flat::GdipLoadImageFromFileICM(W(*path), &image) : Gdiplus::InvalidParameter;
  if (loaded != nullptr) *loaded = status == Gdiplus::Ok && image != nullptr;
  if (status != Gdiplus::Ok || image == nullptr) {
    Dispose(image);
    return decoded;
  }
  decoded.bitmap = ToDrawnFormat(image);
  Dispose(image);
  if (decoded.bitmap == nullptr) {
    Trace(u"A dial image could not be read; it is left out\n");
    return decoded;
  }
  int width = 0;
  int height = 0;
  if (use == ImageUse::kOverlay && ImageSize(decoded.bitmap, width, height) && width == kDialSize &&
      height == kDialSize) {
    // Only the visible part of an overlay of the dial's size is kept, drawn
    // where it lies: its fully transparent pixels would change nothing.
    const std::optional<PixelBox> visible = VisiblePart(decoded.bitmap, width, height);
    if (!visible) {
      Dispose(decoded.bitmap);
      return decoded;
    }
    if (visible->width != width || visible->height != height) {
      Gdiplus::GpBitmap* part = CopyArea(decoded.bitmap, *visible);
      Dispose(decoded.bitmap);
      decoded.bitmap = part;
    }
    decoded.place = *visible;
  }
  return decoded;
}

void DrawImage(Gdiplus::GpGraphics* graphics, Gdiplus::GpBitmap* image, const PixelBox& place) {
  int width = 0;
  int height = 0;
  const bool sameSize =
      ImageSize(image, width, height) && width == place.width && height == place.height;
  flat::GdipSetInterpolationMode(graphics, sameSize ? Gdiplus::InterpolationModeNearestNeighbor
                                                    : Gdiplus::InterpolationModeBilinear);
  flat::GdipSetPixelOffsetMode(
      graphics, sameSize ? Gdiplus::PixelOffsetModeHalf : Gdiplus::PixelOffsetModeDefault);
  // Upper-left, upper-right and lower-left corners: the whole image is
  // scaled onto its place.
  const Gdiplus::Point corners[3] = {{place.left, place.top},
                                     {place.left + place.width, place.top},
                                     {place.left, place.top + place.height}};
  flat::GdipDrawImagePointsI(graphics, image, corners, 3);
}

}  // namespace torvo::win32
