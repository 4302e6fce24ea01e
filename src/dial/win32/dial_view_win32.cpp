#include "dial/win32/dial_view_win32.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>
#include <cstring>

#include "common/win32/text_win32.h"
#include "common/win32/window_win32.h"
#include "common/trace.h"
#include "dial/skin_bounds.h"
#include "dial/win32/picture_win32.h"
#include "dial/win32/skin_win32.h"

namespace torvo::win32 {

namespace {

namespace flat = Gdiplus::DllExports;

// The image of a file, decoded with its embedded colour management, or null
// when it cannot be made. `status` is the loader's answer.
Gdiplus::GpImage* LoadDialImage(const std::optional<std::u16string>& path,
                                Gdiplus::Status* status = nullptr) {
  Gdiplus::GpImage* image = nullptr;
  const Gdiplus::Status loaded =
      path ? flat::GdipLoadImageFromFileICM(W(*path), &image) : Gdiplus::InvalidParameter;
  if (status != nullptr) *status = loaded;
  return image;
}

template <typename Image>
void DeleteImage(Image*& image) {
  if (image != nullptr) flat::GdipDisposeImage(image);
  image = nullptr;
}

bool ImageHasSize(Gdiplus::GpImage* image, int size) {
  UINT width = 0;
  UINT height = 0;
  return flat::GdipGetImageWidth(image, &width) == Gdiplus::Ok &&
         flat::GdipGetImageHeight(image, &height) == Gdiplus::Ok &&
         static_cast<int>(width) == size && static_cast<int>(height) == size;
}

// The part `box` of the image as a bitmap in memory with the same pixels,
// in the same format, so that drawing it reads neither the file nor its
// decoder again. Null when it cannot be made (a file that failed to
// decode): such an image would add nothing to the dial.
Gdiplus::GpBitmap* CopyToMemory(Gdiplus::GpImage* image, const PixelBox& box) {
  Gdiplus::ImageType type = Gdiplus::ImageTypeUnknown;
  Gdiplus::PixelFormat format = PixelFormatUndefined;
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (image == nullptr || flat::GdipGetImageType(image, &type) != Gdiplus::Ok ||
      type != Gdiplus::ImageTypeBitmap ||
      flat::GdipGetImagePixelFormat(image, &format) != Gdiplus::Ok ||
      flat::GdipCloneBitmapAreaI(box.left, box.top, box.width, box.height, format,
                                 static_cast<Gdiplus::GpBitmap*>(image), &bitmap) != Gdiplus::Ok) {
    return nullptr;
  }
  return bitmap;
}

// The whole image, or none.
std::optional<PixelBox> WholeImage(Gdiplus::GpImage* image) {
  UINT width = 0;
  UINT height = 0;
  if (image == nullptr || flat::GdipGetImageWidth(image, &width) != Gdiplus::Ok ||
      flat::GdipGetImageHeight(image, &height) != Gdiplus::Ok || width == 0 || height == 0) {
    return std::nullopt;
  }
  return PixelBox{0, 0, static_cast<int>(width), static_cast<int>(height)};
}

// The part of a bitmap that has any alpha, read once; the whole image when
// its pixels cannot be read.
std::optional<PixelBox> VisiblePart(Gdiplus::GpImage* image, const PixelBox& whole) {
  Gdiplus::ImageType type = Gdiplus::ImageTypeUnknown;
  if (flat::GdipGetImageType(image, &type) != Gdiplus::Ok || type != Gdiplus::ImageTypeBitmap) {
    return whole;
  }
  auto* bitmap = static_cast<Gdiplus::GpBitmap*>(image);
  const Gdiplus::Rect rect(0, 0, whole.width, whole.height);
  Gdiplus::BitmapData data{};
  if (flat::GdipBitmapLockBits(bitmap, &rect, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB,
                               &data) != Gdiplus::Ok) {
    return whole;
  }
  const std::optional<PixelBox> visible =
      VisibleBox(static_cast<const std::uint32_t*>(data.Scan0), whole.width, whole.height,
                 data.Stride / static_cast<INT>(sizeof(std::uint32_t)));
  flat::GdipBitmapUnlockBits(bitmap, &data);
  return visible;
}

// Loads the file and keeps only its copy in memory, where `place` tells
// where it is drawn. An image of the whole dial's size keeps only its
// visible part, and `place` is that part's place on the dial; otherwise it
// is the whole dial. Null for a missing, unreadable or wholly transparent
// image.
Gdiplus::GpBitmap* LoadImageToMemory(const std::optional<std::u16string>& path,
                                     PixelBox* place = nullptr) {
  Gdiplus::GpImage* image = LoadDialImage(path);
  std::optional<PixelBox> part = WholeImage(image);
  if (place != nullptr) {
    *place = {kWholeDial.left, kWholeDial.top, kWholeDial.size, kWholeDial.size};
    if (part && part->width == kDialSize && part->height == kDialSize) {
      part = VisiblePart(image, *part);
      if (part) *place = *part;
    }
  }
  Gdiplus::GpBitmap* copy = part ? CopyToMemory(image, *part) : nullptr;
  if (image != nullptr && copy == nullptr && part) {
    Trace(u"A dial image could not be read; it is left out\n");
  }
  DeleteImage(image);
  return copy;
}

// The whole image drawn onto `place`: pixel for pixel when it has the
// place's size, scaled smoothly otherwise, in the graphics' compositing
// mode.
void DrawImage(Gdiplus::GpGraphics* graphics, Gdiplus::GpBitmap* image, const PixelBox& place) {
  UINT width = 0;
  UINT height = 0;
  const bool sameSize = flat::GdipGetImageWidth(image, &width) == Gdiplus::Ok &&
                        flat::GdipGetImageHeight(image, &height) == Gdiplus::Ok &&
                        static_cast<int>(width) == place.width &&
                        static_cast<int>(height) == place.height;
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

PixelBox BoxOf(const DialSquare& s) {
  return {s.left, s.top, s.size, s.size};
}

constexpr std::size_t kDialPixels = static_cast<std::size_t>(kDialSize) * kDialSize;

// The pixels of the 185 x 185 32-bit DIB section selected into `dc`, top
// row first (the callers make their sections top-down), or null when `dc`
// holds no such section.
std::uint32_t* SectionBits(HDC dc) {
  DIBSECTION section{};
  const HGDIOBJ bitmap = GetCurrentObject(dc, OBJ_BITMAP);
  if (bitmap == nullptr || GetObjectW(bitmap, sizeof(section), &section) != sizeof(section) ||
      section.dsBm.bmBits == nullptr || section.dsBm.bmBitsPixel != 32 ||
      section.dsBm.bmWidth != kDialSize || section.dsBm.bmHeight != kDialSize) {
    return nullptr;
  }
  return static_cast<std::uint32_t*>(section.dsBm.bmBits);
}

// Copies `rows` rows of `width` pixels between two pictures whose rows are
// `fromStride` and `toStride` pixels apart: a square of the dial out into
// a picture of its own (its rows one after the other), or back.
void CopyRows(const std::uint32_t* from, std::size_t fromStride, std::uint32_t* to,
              std::size_t toStride, int rows, int width) {
  for (int y = 0; y < rows; ++y) {
    std::memcpy(to + static_cast<std::size_t>(y) * toStride,
                from + static_cast<std::size_t>(y) * fromStride,
                static_cast<std::size_t>(width) * sizeof(std::uint32_t));
  }
}

// Where the square `s` starts in a whole dial's pixels.
std::size_t SquareOffset(const DialSquare& s) {
  return static_cast<std::size_t>(s.top) * kDialSize + static_cast<std::size_t>(s.left);
}

}  // namespace

CDialView::~CDialView() {
  ReleaseDialImages();
}

// ---------------------------------------------------------------------------
// The skin

void CDialView::LoadSkin(HWND dialWindow, const std::u16string& skinFolder) {
  CIniFile ini(skinFolder + kSkinFileName);
  const SkinDescription skin = ReadSkinDescription(skinFolder, ini);

  // The state pictures, in the order normal, over, down, disabled; the last
  // one's size is the window's until its first composition.
  GdiBitmap pictures[4];
  int width = 0;
  int height = 0;
  bool lastLoaded = false;
  for (int i = 0; i < 4; ++i) {
    const std::optional<std::u16string>& path = skin.statePicturePaths[static_cast<std::size_t>(i)];
    lastLoaded = path && LoadPictureFile(*path, pictures[i], width, height);
  }
  if (!lastLoaded) {
    width = kDialSize;
    height = kDialSize;
  }
  MoveWindow(dialWindow, 0, 0, width, height, TRUE);

  dialImagePath_ = skin.dialImagePath;
  centreImagePaths_ = skin.centreImagePaths;
  segmentImagePaths_ = skin.segmentImagePaths;

  for (int n = 1; n <= kDialFunctionCount; ++n) {
    const SkinButton& description = skin.buttons[static_cast<std::size_t>(n - 1)];
    // The window is the part of the rectangle on the dial; a rectangle of
    // no size or wholly off the dial makes no button, and its sector never
    // commands.
    const std::optional<ButtonPlacement> placement = PlaceButton(description.rect, width, height);
    if (!placement) {
      Trace(u"A dial button rectangle has no size or lies off the dial; it makes no button\n");
      continue;
    }
    CRgnButton& button = Button(n - 1);
    // The button reads its mask while it is created.
    button.maskPath = description.maskPath;
    button.maskOrigin = {placement->maskLeft, placement->maskTop};
    const RECT rect = {placement->window.left, placement->window.top, placement->window.right,
                       placement->window.bottom};
    if (!button.Create(kButtonStyle, rect, dialWindow, 0)) {
      Trace(u"A dial button could not be created\n");
      continue;
    }
    button.SetBitmaps(pictures[0], pictures[1], pictures[2], pictures[3], rect);
  }
}

// ---------------------------------------------------------------------------
// Initialisation

void CDialView::InitialiseDial(HWND dialWindow) {
  PlaceDialAtLowerRight(dialWindow);

  blend_.BlendOp = AC_SRC_OVER;
  blend_.BlendFlags = 0;
  blend_.SourceConstantAlpha = 255;
  blend_.AlphaFormat = AC_SRC_ALPHA;

  ReleaseDialImages();
  // The dial image is the window's shape: without a readable one the dial
  // has no content at all. The others are drawn or left out.
  Gdiplus::Status dialStatus = Gdiplus::Ok;
  Gdiplus::GpImage* dial = LoadDialImage(dialImagePath_, &dialStatus);
  const std::optional<PixelBox> wholeDial = WholeImage(dial);
  if (dial != nullptr && dialStatus == Gdiplus::Ok && wholeDial) {
    dialImage_ = CopyToMemory(dial, *wholeDial);
  }
  DeleteImage(dial);
  if (dialImage_ == nullptr) Trace(u"The dial image could not be loaded\n");
  centreImages_[0] = LoadImageToMemory(centreImagePaths_[0]);
  for (int n = 1; n <= kDialFunctionCount; ++n) {
    centreImages_[static_cast<std::size_t>(n)] = LoadImageToMemory(centreImagePaths_[n]);
    segmentImages_[static_cast<std::size_t>(n)] =
        LoadImageToMemory(segmentImagePaths_[n], &segmentPlaces_[static_cast<std::size_t>(n)]);
  }
  ComposeFixedParts();
}

void CDialView::ComposeFixedParts() {
  if (dialImage_ == nullptr) return;
  // Drawn exactly as a paint would draw them, once, in a section of their
  // own: the dial image copied onto the whole dial, then each centre image
  // of the centre square's size blended over that.
  Canvas scratch;
  if (!MakeSection(nullptr, scratch)) {
    Trace(u"The dial image could not be drawn\n");
    DeleteImage(dialImage_);
    return;
  }
  flat::GdipSetCompositingMode(scratch.graphics, Gdiplus::CompositingModeSourceCopy);
  DrawImage(scratch.graphics, dialImage_, BoxOf(kWholeDial));
  flat::GdipFlush(scratch.graphics, Gdiplus::FlushIntentionSync);
  GdiFlush();
  dialPixels_.assign(scratch.bits, scratch.bits + kDialPixels);
  DeleteImage(dialImage_);
  flat::GdipSetCompositingMode(scratch.graphics, Gdiplus::CompositingModeSourceOver);
  for (std::size_t n = 0; n < centreImages_.size(); ++n) {
    Gdiplus::GpBitmap*& centre = centreImages_[n];
    // A centre image that must be scaled is drawn at each paint: scaling
    // smoothly may reach past its square.
    if (centre == nullptr || !ImageHasSize(centre, kCentreSquare.size)) continue;
    std::memcpy(scratch.bits, dialPixels_.data(), kDialPixels * sizeof(std::uint32_t));
    DrawImage(scratch.graphics, centre, BoxOf(kCentreSquare));
    flat::GdipFlush(scratch.graphics, Gdiplus::FlushIntentionSync);
    GdiFlush();
    const auto side = static_cast<std::size_t>(kCentreSquare.size);
    centrePixels_[n].assign(side * side, 0);
    CopyRows(scratch.bits + SquareOffset(kCentreSquare), kDialSize, centrePixels_[n].data(), side,
             kCentreSquare.size, kCentreSquare.size);
    DeleteImage(centre);
  }
  ReleaseSection(scratch);
}

void CDialView::ReleaseDialImages() {
  ReleaseSection(canvas_);
  dialPixels_.clear();
  for (std::vector<std::uint32_t>& pixels : centrePixels_) pixels.clear();
  DeleteImage(dialImage_);
  for (Gdiplus::GpBitmap*& image : centreImages_) DeleteImage(image);
  for (Gdiplus::GpBitmap*& image : segmentImages_) DeleteImage(image);
}

DialImagesPresent CDialView::ImagesPresent() const {
  DialImagesPresent present;
  present.dial = !dialPixels_.empty();
  for (std::size_t n = 0; n < centreImages_.size(); ++n) {
    present.centre[n] = centreImages_[n] != nullptr || !centrePixels_[n].empty();
    present.segment[n] = n >= 1 && segmentImages_[n] != nullptr;
  }
  return present;
}

int CDialView::ButtonIndexForHandle(HWND handle) const {
  if (handle == nullptr) return -1;
  for (std::size_t i = 0; i < regionButtons_.size(); ++i) {
    if (regionButtons_[i].GetSafeHwnd() == handle) return static_cast<int>(i);
  }
  return -1;
}

// ---------------------------------------------------------------------------
// Composition

bool CDialView::Compose(std::uint32_t* bits, Gdiplus::GpGraphics* graphics, int currentFunction,
                        int previewMode) const {
  const std::vector<DialDraw> plan = PlanDial(currentFunction, previewMode, ImagesPresent());
  if (plan.empty()) return false;
  // Nothing of GDI's may still be writing to the section.
  GdiFlush();
  bool drawn = false;
  for (const DialDraw& draw : plan) {
    const auto index = static_cast<std::size_t>(draw.index);
    switch (draw.kind) {
      case DialImageKind::kDial:
        // The dial image covers the whole dial and comes first: its pixels
        // replace whatever the section held, so it needs no clearing.
        std::memcpy(bits, dialPixels_.data(), kDialPixels * sizeof(std::uint32_t));
        break;
      case DialImageKind::kCentre:
        if (!centrePixels_[index].empty()) {
          CopyRows(centrePixels_[index].data(), static_cast<std::size_t>(kCentreSquare.size),
                   bits + SquareOffset(kCentreSquare), kDialSize, kCentreSquare.size,
                   kCentreSquare.size);
        } else {
          DrawImage(graphics, centreImages_[index], BoxOf(draw.square));
          drawn = true;
        }
        break;
      case DialImageKind::kSegment:
        // Only the overlay's visible part: its fully transparent pixels
        // would change nothing.
        DrawImage(graphics, segmentImages_[index], segmentPlaces_[index]);
        drawn = true;
        break;
    }
  }
  if (drawn) flat::GdipFlush(graphics, Gdiplus::FlushIntentionSync);
  return true;
}

bool CDialView::DrawDial(HDC memoryDc, int currentFunction, int previewMode) const {
  if (dialPixels_.empty()) return false;
  std::uint32_t* bits = SectionBits(memoryDc);
  Gdiplus::GpGraphics* graphics = nullptr;
  if (bits == nullptr || flat::GdipCreateFromHDC(memoryDc, &graphics) != Gdiplus::Ok ||
      graphics == nullptr) {
    Trace(u"The dial could not be composed\n");
    return false;
  }
  flat::GdipSetCompositingMode(graphics, Gdiplus::CompositingModeSourceOver);
  const bool drawn = Compose(bits, graphics, currentFunction, previewMode);
  flat::GdipDeleteGraphics(graphics);
  return drawn;
}

bool CDialView::MakeSection(HDC referenceDc, Canvas& canvas) {
  // A 32-bit section, whatever the screen's depth: a bitmap compatible with
  // a 16- or 24-bit screen has no alpha channel.
  canvas.dc = CreateCompatibleDC(referenceDc);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = kDialSize;
  info.bmiHeader.biHeight = -kDialSize;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  if (canvas.dc != nullptr) {
    canvas.section = CreateDIBSection(canvas.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  }
  if (canvas.section != nullptr && bits != nullptr) {
    canvas.oldBitmap = SelectObject(canvas.dc, canvas.section);
    canvas.bits = static_cast<std::uint32_t*>(bits);
  }
  if (canvas.bits == nullptr ||
      flat::GdipCreateFromHDC(canvas.dc, &canvas.graphics) != Gdiplus::Ok ||
      canvas.graphics == nullptr) {
    canvas.graphics = nullptr;
    ReleaseSection(canvas);
    return false;
  }
  // What a paint draws with GDI+ is blended over the dial image.
  flat::GdipSetCompositingMode(canvas.graphics, Gdiplus::CompositingModeSourceOver);
  return true;
}

void CDialView::ReleaseSection(Canvas& canvas) {
  if (canvas.graphics != nullptr) flat::GdipDeleteGraphics(canvas.graphics);
  if (canvas.oldBitmap != nullptr) SelectObject(canvas.dc, canvas.oldBitmap);
  if (canvas.section != nullptr) DeleteObject(canvas.section);
  if (canvas.dc != nullptr) DeleteDC(canvas.dc);
  canvas = Canvas{};
}

void CDialView::ComposeDial(HWND dialWindow, int currentFunction, int previewMode) {
  PAINTSTRUCT paint{};
  HDC paintDc = BeginPaint(dialWindow, &paint);
  if (paintDc == nullptr) return;
  if (dialPixels_.empty()) {
    EndPaint(dialWindow, &paint);
    return;
  }
  if (canvas_.graphics == nullptr && !MakeSection(paintDc, canvas_)) {
    Trace(u"The dial could not be composed\n");
    EndPaint(dialWindow, &paint);
    return;
  }
  if (Compose(canvas_.bits, canvas_.graphics, currentFunction, previewMode)) {
    const LONG exStyle = GetWindowLongW(dialWindow, GWL_EXSTYLE);
    if ((exStyle & WS_EX_LAYERED) == 0)
      SetWindowLongW(dialWindow, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
    RECT windowRect{};
    GetWindowRect(dialWindow, &windowRect);
    POINT destination = {windowRect.left, windowRect.top};
    SIZE size = {kDialSize, kDialSize};
    POINT source = {0, 0};
    UpdateLayeredWindow(dialWindow, canvas_.dc, &destination, &size, canvas_.dc, &source, 0,
                        &blend_, ULW_ALPHA);
  }
  EndPaint(dialWindow, &paint);
}

}  // namespace torvo::win32
