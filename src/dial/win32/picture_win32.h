// Picture and region helpers of the skin: reading a state picture into a
// bitmap, cutting a rectangle out of a bitmap, and the region of a mask
// bitmap (its non-white pixels).
#pragma once

#include <windows.h>

#include <string>

namespace torvo::win32 {

// Holds one GDI bitmap and deletes it when given another or destroyed.
class GdiBitmap {
 public:
  GdiBitmap() = default;
  explicit GdiBitmap(HBITMAP bitmap) : bitmap_(bitmap) {}
  ~GdiBitmap() { Reset(); }
  GdiBitmap(const GdiBitmap&) = delete;
  GdiBitmap& operator=(const GdiBitmap&) = delete;

  HBITMAP Get() const { return bitmap_; }
  explicit operator bool() const { return bitmap_ != nullptr; }
  void Reset(HBITMAP bitmap = nullptr);

 private:
  HBITMAP bitmap_ = nullptr;
};

// Reads a picture file that OleLoadPicture decodes to a bitmap (BMP, JPEG,
// GIF) into `bitmap`. Returns false, with `bitmap` empty and the size 0 x 0,
// when the file is missing, unreadable, empty, larger than a skin picture
// may be (file or pixels) or not a bitmap picture, and when a BMP is shorter
// than its header says.
bool LoadPictureFile(const std::u16string& path, GdiBitmap& bitmap, int& width, int& height);

// Gives `destination` a new bitmap, compatible with `referenceDc`, holding
// the part of `source` under `rect` that lies on the source picture, at its
// own size; returns where that part lands relative to the rectangle's
// top-left corner ((0, 0) when the rectangle lies on the picture). A source
// without a bitmap leaves the destination as it was; a rectangle without
// any pixel on the picture leaves it without a bitmap.
POINT CopyBitmapRect(HDC referenceDc, const GdiBitmap& source, GdiBitmap& destination,
                     const RECT& rect);

// Whether a mask file is a BMP that may be loaded: its header is read
// first, and a bitmap larger than a skin picture may be, or one shorter
// than its header says, is refused (with a trace).
bool MaskFileAcceptable(const std::u16string& path);

// The region of the bitmap's non-white pixels, in its own pixel
// coordinates; the caller owns it. None without a bitmap, when the bitmap
// cannot be read or is larger than a skin picture may be; an empty region
// for an all-white bitmap.
HRGN BitmapToRegion(HBITMAP bitmap);

}  // namespace torvo::win32
