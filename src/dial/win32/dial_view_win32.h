// The dial's look: the skin's images and the eight sector buttons, read once
// while the dial window is created, and the layered composition of the
// window at every paint. The dial window owns one CDialView; what it shows
// is the window's (function shown, preview) pair.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dial/dial_plan.h"
#include "dial/skin_description.h"
#include "dial/win32/rgn_button_win32.h"

namespace Gdiplus {
class GpImage;
class GpBitmap;
class GpGraphics;
}  // namespace Gdiplus

namespace torvo::win32 {

class CDialView {
 public:
  static constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
  // How a paint makes its section; tests replace it to see a paint whose
  // section cannot be made.
  static decltype(&CreateDIBSection) createSection;

  CDialView() = default;
  ~CDialView();
  CDialView(const CDialView&) = delete;
  CDialView& operator=(const CDialView&) = delete;

  // Reads "skin_scroll.ini" of `skinFolder`: sizes `dialWindow` to the
  // disabled-state picture at (0, 0) (185 x 185 when that picture fails),
  // keeps the image paths and creates the eight buttons as children of
  // `dialWindow` at their rectangles, cut to the dial's 185 x 185, with
  // their state images. A rectangle of no size or wholly off the dial gives
  // its button a window of no size, which never receives input.
  void LoadSkin(HWND dialWindow, const std::u16string& skinFolder);
  // Places the window topmost at the lower right of the screen, hidden, and
  // loads the images (GDI+ must be started), each decoded once into a 32-bit
  // premultiplied bitmap in memory.
  void InitialiseDial(HWND dialWindow);
  // The paint handler: composes the dial in a fresh DC, section and GDI+
  // graphics, hands it to the window as its layered content and releases
  // them. Without a dial image, or when they cannot be made, the content is
  // left as it was; the next paint tries again.
  void ComposeDial(HWND dialWindow, int currentFunction, int previewMode);
  // Draws the dial into `memoryDc`, which must hold a 185 x 185 32-bit
  // top-down DIB section; the result has premultiplied alpha. False when
  // there is no dial image or no graphics can be made on the DC (nothing
  // drawn).
  bool DrawDial(HDC memoryDc, int currentFunction, int previewMode) const;
  // Releases the images.
  void ReleaseDialImages();

  // 0..7 for the handle of a sector button, -1 for any other window.
  int ButtonIndexForHandle(HWND handle) const;
  CRgnButton& Button(int index) { return regionButtons_[static_cast<std::size_t>(index)]; }
  DialImagesPresent ImagesPresent() const;
  const std::optional<std::u16string>& DialImagePath() const { return dialImagePath_; }
  const std::optional<std::u16string>& CentreImagePath(int n) const {
    return centreImagePaths_[static_cast<std::size_t>(n)];
  }
  const std::optional<std::u16string>& SegmentImagePath(int n) const {
    return segmentImagePaths_[static_cast<std::size_t>(n)];
  }

 private:
  // Composes the dial with `graphics`, made on a DC that holds a fresh or
  // older 185 x 185 32-bit section. False without a dial image.
  bool Compose(Gdiplus::GpGraphics* graphics, int currentFunction, int previewMode) const;

  std::optional<std::u16string> dialImagePath_;
  std::array<std::optional<std::u16string>, 9> centreImagePaths_;
  std::array<std::optional<std::u16string>, 9> segmentImagePaths_;
  // The images, decoded once into 32-bit premultiplied bitmaps in memory
  // (flat GDI+ interface), null where one could not be made.
  Gdiplus::GpBitmap* dialImage_ = nullptr;
  std::array<Gdiplus::GpBitmap*, 9> centreImages_{};
  std::array<Gdiplus::GpBitmap*, 9> segmentImages_{};  // 1..8 used
  // Where each overlay is drawn: an overlay of the whole dial's size keeps
  // only its visible part, drawn where it lies; another is scaled onto the
  // whole dial.
  std::array<PixelBox, 9> segmentPlaces_{};
  BLENDFUNCTION blend_{};
  std::array<CRgnButton, kDialFunctionCount> regionButtons_;
};

}  // namespace torvo::win32
