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

  CDialView() = default;
  ~CDialView();
  CDialView(const CDialView&) = delete;
  CDialView& operator=(const CDialView&) = delete;

  // Reads "skin_scroll.ini" of `skinFolder`: sizes `dialWindow` to the
  // disabled-state picture at (0, 0) (185 x 185 when that picture fails),
  // keeps the image paths and creates the eight buttons as children of
  // `dialWindow` at their rectangles, kept to the window's size, with their
  // state images. A rectangle of no size or wholly off the window makes no
  // button: its object keeps no window.
  void LoadSkin(HWND dialWindow, const std::u16string& skinFolder);
  // Places the window topmost at the lower right of the screen, hidden, and
  // loads the images (GDI+ must be started), each kept as a bitmap in
  // memory.
  void InitialiseDial(HWND dialWindow);
  // The paint handler: composes the dial and hands it to the window as its
  // layered content. Without a dial image the content is left as it was.
  // The section it composes in is made at the first paint and kept.
  void ComposeDial(HWND dialWindow, int currentFunction, int previewMode);
  // Draws the dial into `memoryDc`, which must hold a 185 x 185 32-bit
  // top-down DIB section; the result has premultiplied alpha. False when
  // there is no dial image (nothing drawn).
  bool DrawDial(HDC memoryDc, int currentFunction, int previewMode) const;
  // Releases the images and the composition's section.
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
  // A 185 x 185 32-bit top-down section in a memory DC, and GDI+ drawing on
  // that DC.
  struct Canvas {
    HDC dc = nullptr;
    HBITMAP section = nullptr;
    HGDIOBJ oldBitmap = nullptr;
    std::uint32_t* bits = nullptr;  // top row first
    Gdiplus::GpGraphics* graphics = nullptr;
  };

  static bool MakeSection(HDC referenceDc, Canvas& canvas);
  static void ReleaseSection(Canvas& canvas);
  void ComposeFixedParts();
  // Composes the dial into `bits`, the pixels of the section `graphics`
  // draws on. False without a dial image.
  bool Compose(std::uint32_t* bits, Gdiplus::GpGraphics* graphics, int currentFunction,
               int previewMode) const;

  std::optional<std::u16string> dialImagePath_;
  std::array<std::optional<std::u16string>, 9> centreImagePaths_;
  std::array<std::optional<std::u16string>, 9> segmentImagePaths_;
  // The images, decoded once into bitmaps in memory (flat GDI+ interface),
  // null where one could not be made or where its pixels are kept below.
  Gdiplus::GpBitmap* dialImage_ = nullptr;
  std::array<Gdiplus::GpBitmap*, 9> centreImages_{};
  std::array<Gdiplus::GpBitmap*, 9> segmentImages_{};  // 1..8 used
  // Where each overlay is drawn: an overlay of the whole dial's size keeps
  // only its visible part, drawn where it lies; another is scaled onto the
  // whole dial.
  std::array<PixelBox, 9> segmentPlaces_{};
  // What no paint changes, drawn once when the images load: the dial image
  // on the whole dial (premultiplied, top row first; empty without a dial
  // image), and for each centre image of the centre square's size the
  // centre square with that image over the dial image (its rows one after
  // the other; empty for an image drawn at each paint).
  std::vector<std::uint32_t> dialPixels_;
  std::array<std::vector<std::uint32_t>, 9> centrePixels_;
  BLENDFUNCTION blend_{};
  Canvas canvas_;
  std::array<CRgnButton, kDialFunctionCount> regionButtons_;
};

}  // namespace torvo::win32
