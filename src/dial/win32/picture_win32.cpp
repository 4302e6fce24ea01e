#include "dial/win32/picture_win32.h"

#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstdint>
#include <optional>

#include "common/win32/text_win32.h"
#include "common/trace.h"
#include "dial/mask_region.h"
#include "dial/skin_bounds.h"

namespace torvo::win32 {

void GdiBitmap::Reset(HBITMAP bitmap) {
  if (bitmap_ != nullptr && bitmap_ != bitmap) DeleteObject(bitmap_);
  bitmap_ = bitmap;
}

namespace {

// The whole file in movable global memory, or null. Pictures bigger than a
// skin can need, or empty, are not read.
HGLOBAL ReadFileToGlobal(const std::u16string& path, DWORD& size) {
  HANDLE file =
      CreateFileW(W(path), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  DWORD high = 0;
  size = GetFileSize(file, &high);
  HGLOBAL memory = nullptr;
  if (size == INVALID_FILE_SIZE || high != 0 || size > kMaxSkinPictureFileBytes) {
    Trace(u"A skin picture file is too large and is refused\n");
  } else if (size != 0) {
    memory = GlobalAlloc(GMEM_MOVEABLE, size);
  }
  if (memory != nullptr) {
    void* data = GlobalLock(memory);
    DWORD read = 0;
    const BOOL ok = data != nullptr && ReadFile(file, data, size, &read, nullptr) && read == size;
    GlobalUnlock(memory);
    if (!ok) {
      GlobalFree(memory);
      memory = nullptr;
    }
  }
  CloseHandle(file);
  return memory;
}

// A BMP whose header claims more than a skin picture may be, or more pixels
// than the file holds, is refused before it is decoded.
bool RefusedBitmapFile(const std::uint8_t* bytes, std::size_t count, std::uint64_t fileSize) {
  if (!LooksLikeBitmapFile(bytes, count)) return false;
  switch (CheckBitmapFile(bytes, count, fileSize).verdict) {
    case BitmapFileVerdict::kAccepted:
      return false;
    case BitmapFileVerdict::kTooLarge:
      Trace(u"A skin bitmap is larger than a skin picture may be and is refused\n");
      return true;
    case BitmapFileVerdict::kTruncated:
      Trace(u"A skin bitmap is shorter than its header says and is refused\n");
      return true;
    case BitmapFileVerdict::kNotABitmap:
      break;
  }
  Trace(u"A skin bitmap has a damaged header and is refused\n");
  return true;
}

}  // namespace

bool LoadPictureFile(const std::u16string& path, GdiBitmap& bitmap, int& width, int& height) {
  bitmap.Reset();
  width = 0;
  height = 0;
  DWORD size = 0;
  HGLOBAL memory = ReadFileToGlobal(path, size);
  if (memory == nullptr) {
    Trace(u"A skin picture could not be read\n");
    return false;
  }
  bool refused = true;
  if (const void* data = GlobalLock(memory)) {
    refused = RefusedBitmapFile(static_cast<const std::uint8_t*>(data), size, size);
    GlobalUnlock(memory);
  }
  IStream* stream = nullptr;
  if (refused || FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
    GlobalFree(memory);
    Trace(u"A skin picture could not be read\n");
    return false;
  }
  IPicture* picture = nullptr;
  const HRESULT decoded = OleLoadPicture(stream, static_cast<LONG>(size), FALSE, IID_IPicture,
                                         reinterpret_cast<void**>(&picture));
  stream->Release();
  if (FAILED(decoded) || picture == nullptr) {
    Trace(u"A skin picture could not be decoded\n");
    return false;
  }
  SHORT type = PICTYPE_NONE;
  OLE_HANDLE handle = 0;
  HBITMAP copy = nullptr;
  if (SUCCEEDED(picture->get_Type(&type)) && type == PICTYPE_BITMAP &&
      SUCCEEDED(picture->get_Handle(&handle)) && handle != 0) {
    // The picture object owns its bitmap; a copy lets it be released. A
    // picture of another format decoded to more than a skin picture may be
    // is not copied.
    const HBITMAP decodedBitmap = reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle));
    BITMAP decodedInfo{};
    if (GetObjectW(decodedBitmap, sizeof(decodedInfo), &decodedInfo) != 0 &&
        decodedInfo.bmWidth <= kMaxSkinPictureSide && decodedInfo.bmHeight <= kMaxSkinPictureSide) {
      copy =
          static_cast<HBITMAP>(CopyImage(decodedBitmap, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    }
  }
  picture->Release();
  BITMAP info{};
  if (copy == nullptr || GetObjectW(copy, sizeof(info), &info) == 0) {
    if (copy != nullptr) DeleteObject(copy);
    Trace(u"A skin picture is not a bitmap\n");
    return false;
  }
  bitmap.Reset(copy);
  width = info.bmWidth;
  height = info.bmHeight;
  return true;
}

static bool BitmapSize(HBITMAP bitmap, int& width, int& height) {
  BITMAP info{};
  if (bitmap == nullptr || GetObjectW(bitmap, sizeof(info), &info) == 0) return false;
  width = info.bmWidth;
  height = info.bmHeight;
  return true;
}

POINT CopyBitmapRect(HDC referenceDc, const GdiBitmap& source, GdiBitmap& destination,
                     const RECT& rect) {
  if (!source) return {0, 0};
  destination.Reset();
  int pictureWidth = 0;
  int pictureHeight = 0;
  if (!BitmapSize(source.Get(), pictureWidth, pictureHeight)) return {0, 0};
  // Only the part of the rectangle that lies on the picture is copied, so
  // the copy is never larger than the picture.
  const std::optional<CutOut> cut = CutOutOf(
      ButtonRect{rect.left, rect.top, rect.right, rect.bottom}, pictureWidth, pictureHeight);
  if (!cut) return {0, 0};
  const int width = cut->source.Width();
  const int height = cut->source.Height();
  destination.Reset(CreateCompatibleBitmap(referenceDc, width, height));
  if (!destination) return {0, 0};
  HDC destinationDc = CreateCompatibleDC(referenceDc);
  HDC sourceDc = CreateCompatibleDC(referenceDc);
  if (destinationDc != nullptr && sourceDc != nullptr) {
    HGDIOBJ oldDestination = SelectObject(destinationDc, destination.Get());
    HGDIOBJ oldSource = SelectObject(sourceDc, source.Get());
    StretchBlt(destinationDc, 0, 0, width, height, sourceDc, cut->source.left, cut->source.top,
               width, height, SRCCOPY);
    SelectObject(sourceDc, oldSource);
    SelectObject(destinationDc, oldDestination);
  }
  if (sourceDc != nullptr) DeleteDC(sourceDc);
  if (destinationDc != nullptr) DeleteDC(destinationDc);
  return {cut->left, cut->top};
}

bool MaskFileAcceptable(const std::u16string& path) {
  HANDLE file = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::uint8_t header[64] = {};
  DWORD read = 0;
  LARGE_INTEGER size{};
  const bool ok = GetFileSizeEx(file, &size) != FALSE &&
                  ReadFile(file, header, sizeof(header), &read, nullptr) != FALSE;
  CloseHandle(file);
  if (!ok) return false;
  if (!LooksLikeBitmapFile(header, read)) return false;
  return !RefusedBitmapFile(header, read, static_cast<std::uint64_t>(size.QuadPart));
}

namespace {

// ORs one batch of rectangles into `result` (or makes it the result).
void AddBatch(HRGN& result, RegionBuilder& batch) {
  HRGN part = ExtCreateRegion(nullptr, static_cast<DWORD>(batch.SizeBytes()),
                              static_cast<const RGNDATA*>(batch.Data()));
  if (part == nullptr) {
    Trace(u"A part of a mask region could not be made\n");
    return;
  }
  if (result == nullptr) {
    result = part;
    return;
  }
  CombineRgn(result, result, part, RGN_OR);
  DeleteObject(part);
}

}  // namespace

HRGN BitmapToRegion(HBITMAP bitmap) {
  if (bitmap == nullptr) return nullptr;
  BITMAP info{};
  if (GetObjectW(bitmap, sizeof(info), &info) == 0) return nullptr;
  const int width = info.bmWidth;
  const int height = info.bmHeight;
  // The scan makes a 32-bit copy of the whole bitmap.
  if (width <= 0 || height <= 0 || width > kMaxSkinPictureSide || height > kMaxSkinPictureSide) {
    Trace(u"A mask bitmap is larger than a skin picture may be and is not scanned\n");
    return nullptr;
  }

  HDC sectionDc = CreateCompatibleDC(nullptr);
  if (sectionDc == nullptr) return nullptr;
  // A 32-bit bottom-up copy of the bitmap: its top row is last in memory.
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(header);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(sectionDc, reinterpret_cast<BITMAPINFO*>(&header),
                                     DIB_RGB_COLORS, &bits, nullptr, 0);
  if (section == nullptr || bits == nullptr) {
    if (section != nullptr) DeleteObject(section);
    DeleteDC(sectionDc);
    return nullptr;
  }
  HGDIOBJ oldSection = SelectObject(sectionDc, section);
  HRGN result = nullptr;
  HDC bitmapDc = CreateCompatibleDC(sectionDc);
  if (bitmapDc != nullptr) {
    HGDIOBJ oldBitmap = SelectObject(bitmapDc, bitmap);
    BitBlt(sectionDc, 0, 0, width, height, bitmapDc, 0, 0, SRCCOPY);
    GdiFlush();
    BITMAP sectionInfo{};
    GetObjectW(section, sizeof(sectionInfo), &sectionInfo);
    const std::ptrdiff_t stride = (static_cast<std::ptrdiff_t>(sectionInfo.bmWidthBytes) + 3) & ~3;
    MaskPixels pixels;
    pixels.topRow = static_cast<const std::uint8_t*>(bits) + (height - 1) * stride;
    pixels.rowStep = -stride;
    pixels.width = width;
    pixels.height = height;
    RegionBuilder builder;
    ScanMask(pixels, builder, [&](RegionBuilder& batch) { AddBatch(result, batch); });
    SelectObject(bitmapDc, oldBitmap);
    DeleteDC(bitmapDc);
  }
  SelectObject(sectionDc, oldSection);
  DeleteDC(sectionDc);
  DeleteObject(section);
  return result;
}

}  // namespace torvo::win32
