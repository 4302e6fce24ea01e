#include "dial/win32/dial_view_win32.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>

#include "common/win32/text_win32.h"
#include "common/win32/window_win32.h"
#include "common/trace.h"
#include "dial/skin_bounds.h"
#include "dial/win32/dial_images_win32.h"
#include "dial/win32/picture_win32.h"
#include "dial/win32/skin_win32.h"

namespace torvo::win32 {

namespace {

namespace flat = Gdiplus::DllExports;

PixelBox BoxOf(const DialSquare& s) {
  return {s.left, s.top, s.size, s.size};
}

// Whether `dc` holds a 185 x 185 32-bit DIB section, the only kind of
// bitmap that keeps the dial's alpha.
bool HoldsDialSection(HDC dc) {
  DIBSECTION section{};
  const HGDIOBJ bitmap = GetCurrentObject(dc, OBJ_BITMAP);
  if (bitmap == nullptr || GetObjectW(bitmap, sizeof(section), &section) != sizeof(section) ||
      section.dsBm.bmBits == nullptr || section.dsBm.bmBitsPixel != 32 ||
      section.dsBm.bmWidth != kDialSize || section.dsBm.bmHeight != kDialSize) {
    return false;
  }
  return true;
}

// What one paint composes in: a memory DC holding a 185 x 185 32-bit
// top-down section, whatever the screen's depth (a bitmap compatible with a
// 16- or 24-bit screen has no alpha channel), and GDI+ graphics on that DC.
// Made for the paint and released when it ends.
class PaintCanvas {
 public:
  explicit PaintCanvas(HDC referenceDc) {
    dc_ = CreateCompatibleDC(referenceDc);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = kDialSize;
    info.bmiHeader.biHeight = -kDialSize;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    if (dc_ != nullptr) {
      section_ = CDialView::createSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    }
    if (section_ == nullptr || bits == nullptr) return;
    oldBitmap_ = SelectObject(dc_, section_);
    if (oldBitmap_ == nullptr) return;
    if (flat::GdipCreateFromHDC(dc_, &graphics_) != Gdiplus::Ok) graphics_ = nullptr;
    if (graphics_ == nullptr) return;
    // What a paint draws with GDI+ is blended over the dial image.
    flat::GdipSetCompositingMode(graphics_, Gdiplus::CompositingModeSourceOver);
  }
  ~PaintCanvas() {
    if (graphics_ != nullptr) flat::GdipDeleteGraphics(graphics_);
    if (oldBitmap_ != nullptr) SelectObject(dc_, oldBitmap_);
    if (section_ != nullptr) DeleteObject(section_);
    if (dc_ != nullptr) DeleteDC(dc_);
  }
  PaintCanvas(const PaintCanvas&) = delete;
  PaintCanvas& operator=(const PaintCanvas&) = delete;

  bool Ready() const { return graphics_ != nullptr; }
  HDC Dc() const { return dc_; }
  Gdiplus::GpGraphics* Graphics() const { return graphics_; }

 private:
  HDC dc_ = nullptr;
  HBITMAP section_ = nullptr;
  HGDIOBJ oldBitmap_ = nullptr;
  Gdiplus::GpGraphics* graphics_ = nullptr;
};

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
    // The window is the part of the rectangle on the dial, which is 185 x 185
    // whatever size the window has until its first composition.
    const auto [placement, onDial] = PlaceButton(description.rect, kDialSize, kDialSize);
    if (!onDial) {
      Trace(u"A dial button rectangle has no size or lies off the dial; its button has no size\n");
    }
    CRgnButton& button = Button(n - 1);
    // The button reads its mask while it is created.
    button.maskPath = description.maskPath;
    button.maskOrigin = {placement.maskLeft, placement.maskTop};
    const RECT rect = {placement.window.left, placement.window.top, placement.window.right,
                       placement.window.bottom};
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
  dialImage_ = DecodeDialImage(dialImagePath_, ImageUse::kWhole).bitmap;
  if (dialImage_ == nullptr) Trace(u"The dial image could not be loaded\n");
  centreImages_[0] = DecodeDialImage(centreImagePaths_[0], ImageUse::kWhole).bitmap;
  for (std::size_t n = 1; n <= kDialFunctionCount; ++n) {
    centreImages_[n] = DecodeDialImage(centreImagePaths_[n], ImageUse::kWhole).bitmap;
    const DecodedImage overlay = DecodeDialImage(segmentImagePaths_[n], ImageUse::kOverlay);
    segmentImages_[n] = overlay.bitmap;
    segmentPlaces_[n] = overlay.place;
  }
}

void CDialView::ReleaseDialImages() {
  DisposeImage(dialImage_);
  for (Gdiplus::GpBitmap*& image : centreImages_) DisposeImage(image);
  for (Gdiplus::GpBitmap*& image : segmentImages_) DisposeImage(image);
}

DialImagesPresent CDialView::ImagesPresent() const {
  DialImagesPresent present;
  present.dial = dialImage_ != nullptr;
  for (std::size_t n = 0; n < centreImages_.size(); ++n) {
    present.centre[n] = centreImages_[n] != nullptr;
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

bool CDialView::Compose(Gdiplus::GpGraphics* graphics, int currentFunction, int previewMode) const {
  const std::vector<DialDraw> plan = PlanDial(currentFunction, previewMode, ImagesPresent());
  if (plan.empty()) return false;
  for (const DialDraw& draw : plan) {
    const auto index = static_cast<std::size_t>(draw.index);
    switch (draw.kind) {
      case DialImageKind::kDial:
        // The dial image covers the whole dial and comes first: copied, its
        // pixels replace whatever the section held.
        flat::GdipSetCompositingMode(graphics, Gdiplus::CompositingModeSourceCopy);
        DrawImage(graphics, dialImage_, BoxOf(kWholeDial));
        flat::GdipSetCompositingMode(graphics, Gdiplus::CompositingModeSourceOver);
        break;
      case DialImageKind::kCentre:
        DrawImage(graphics, centreImages_[index], BoxOf(draw.square));
        break;
      case DialImageKind::kSegment:
        // Only the overlay's visible part: its fully transparent pixels
        // would change nothing.
        DrawImage(graphics, segmentImages_[index], segmentPlaces_[index]);
        break;
    }
  }
  flat::GdipFlush(graphics, Gdiplus::FlushIntentionSync);
  return true;
}

bool CDialView::DrawDial(HDC memoryDc, int currentFunction, int previewMode) const {
  if (dialImage_ == nullptr) return false;
  Gdiplus::GpGraphics* graphics = nullptr;
  if (!HoldsDialSection(memoryDc) || flat::GdipCreateFromHDC(memoryDc, &graphics) != Gdiplus::Ok ||
      graphics == nullptr) {
    Trace(u"The dial could not be composed\n");
    return false;
  }
  flat::GdipSetCompositingMode(graphics, Gdiplus::CompositingModeSourceOver);
  const bool drawn = Compose(graphics, currentFunction, previewMode);
  flat::GdipDeleteGraphics(graphics);
  return drawn;
}

void CDialView::ComposeDial(HWND dialWindow, int currentFunction, int previewMode) {
  PAINTSTRUCT paint{};
  HDC paintDc = BeginPaint(dialWindow, &paint);
  if (paintDc == nullptr) return;
  if (dialImage_ != nullptr) {
    // Everything the composition draws with is made for this paint and
    // released before it ends; only the decoded images are kept.
    const PaintCanvas canvas(paintDc);
    if (!canvas.Ready()) {
      // The layered content stays what it was; the next paint tries again.
      Trace(u"The dial could not be composed\n");
    } else if (Compose(canvas.Graphics(), currentFunction, previewMode)) {
      const LONG exStyle = GetWindowLongW(dialWindow, GWL_EXSTYLE);
      if ((exStyle & WS_EX_LAYERED) == 0)
        SetWindowLongW(dialWindow, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
      RECT windowRect{};
      GetWindowRect(dialWindow, &windowRect);
      POINT destination = {windowRect.left, windowRect.top};
      SIZE size = {kDialSize, kDialSize};
      POINT source = {0, 0};
      UpdateLayeredWindow(dialWindow, canvas.Dc(), &destination, &size, canvas.Dc(), &source, 0,
                          &blend_, ULW_ALPHA);
    }
  }
  EndPaint(dialWindow, &paint);
}

decltype(&CreateDIBSection) CDialView::createSection = &CreateDIBSection;

}  // namespace torvo::win32
