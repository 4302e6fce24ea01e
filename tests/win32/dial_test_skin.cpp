#include "dial_test_skin.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace torvo::testing {
namespace {

bool WriteBytes(const std::wstring& path, const void* data, std::size_t size) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
  CloseHandle(file);
  return ok && written == size;
}

}  // namespace

void StartGdiplusOnce() {
  static ULONG_PTR token = 0;
  if (token == 0) {
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
  }
}

void EmptyFolder(const std::wstring& folder) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        DeleteFileW((folder + data.cFileName).c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
}

namespace {

// A bottom-up BI_RGB bitmap file of `bitCount` bits a pixel with a palette
// of `paletteSize` entries, zeroed; `stride` and `pixelsAt` say where its rows
// lie.
std::vector<std::uint8_t> EmptyBmp(int width, int height, WORD bitCount, DWORD paletteSize,
                                   int& stride, std::size_t& pixelsAt) {
  stride = ((width * bitCount + 31) / 32) * 4;
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  info.biSize = sizeof(info);
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = bitCount;
  info.biCompression = BI_RGB;
  info.biClrUsed = paletteSize;
  info.biSizeImage = static_cast<DWORD>(stride * height);
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(info) + 4 * paletteSize;
  file.bfSize = file.bfOffBits + info.biSizeImage;
  std::vector<std::uint8_t> bytes(file.bfSize, 0);
  std::memcpy(bytes.data(), &file, sizeof(file));
  std::memcpy(bytes.data() + sizeof(file), &info, sizeof(info));
  pixelsAt = file.bfOffBits;
  return bytes;
}

}  // namespace

bool WriteBmp(const std::wstring& path, int width, int height, const PixelFunction& pixel) {
  int stride = 0;
  std::size_t pixelsAt = 0;
  std::vector<std::uint8_t> bytes = EmptyBmp(width, height, 24, 0, stride, pixelsAt);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = bytes.data() + pixelsAt + (height - 1 - y) * stride;
    for (int x = 0; x < width; ++x) {
      const std::uint32_t c = pixel(x, y);
      row[3 * x + 0] = static_cast<std::uint8_t>(c);
      row[3 * x + 1] = static_cast<std::uint8_t>(c >> 8);
      row[3 * x + 2] = static_cast<std::uint8_t>(c >> 16);
    }
  }
  return WriteBytes(path, bytes.data(), bytes.size());
}

bool WriteEmf(const std::wstring& path, int width, int height, std::uint32_t colour,
              std::uint32_t corner) {
  HDC dc = CreateEnhMetaFileW(nullptr, path.c_str(), nullptr, nullptr);
  if (dc == nullptr) return false;
  const auto fill = [dc](RECT rect, std::uint32_t rgb) {
    HBRUSH brush = CreateSolidBrush(RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF));
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
  };
  fill({0, 0, width, height}, colour);
  fill({0, 0, width / 2, height / 2}, corner);
  HENHMETAFILE file = CloseEnhMetaFile(dc);
  if (file == nullptr) return false;
  DeleteEnhMetaFile(file);
  return true;
}

bool WriteBmp4(const std::wstring& path, int width, int height,
               const std::vector<std::uint32_t>& colours,
               const std::function<int(int x, int y)>& index) {
  int stride = 0;
  std::size_t pixelsAt = 0;
  std::vector<std::uint8_t> bytes = EmptyBmp(width, height, 4, 16, stride, pixelsAt);
  const std::size_t paletteAt = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  for (std::size_t i = 0; i < colours.size() && i < 16; ++i) {
    // The palette holds blue, green, red and a zero byte.
    const std::uint32_t rgb = colours[i] & 0xFFFFFF;
    std::memcpy(bytes.data() + paletteAt + 4 * i, &rgb, 4);
  }
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = bytes.data() + pixelsAt + (height - 1 - y) * stride;
    for (int x = 0; x < width; ++x) {
      const auto nibble = static_cast<std::uint8_t>(index(x, y) & 0x0F);
      row[x / 2] |= static_cast<std::uint8_t>(x % 2 == 0 ? nibble << 4 : nibble);
    }
  }
  return WriteBytes(path, bytes.data(), bytes.size());
}

bool WritePng(const std::wstring& path, int width, int height, const PixelFunction& pixel) {
  StartGdiplusOnce();
  Gdiplus::Bitmap bitmap(width, height, PixelFormat32bppARGB);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) bitmap.SetPixel(x, y, Gdiplus::Color(pixel(x, y)));
  }
  // The PNG encoder of GDI+.
  static const CLSID kPngEncoder = {
      0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
  return bitmap.Save(path.c_str(), &kPngEncoder, nullptr) == Gdiplus::Ok;
}

bool WriteText(const std::wstring& path, const std::string& text) {
  return WriteBytes(path, text.data(), text.size());
}

std::string HugeBmpHeader() {
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  info.biSize = sizeof(info);
  info.biWidth = 60000;
  info.biHeight = 60000;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(info);
  file.bfSize = 0xFFFFFFFFu;
  std::string bytes(sizeof(file) + sizeof(info), '\0');
  std::memcpy(bytes.data(), &file, sizeof(file));
  std::memcpy(bytes.data() + sizeof(file), &info, sizeof(info));
  return bytes;
}

TempSkinFolder::TempSkinFolder() {
  wchar_t base[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, base);
  static LONG counter = 0;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    std::wstring path = std::wstring(base) + L"torvo_skin_" +
                        std::to_wstring(GetCurrentProcessId()) + L"_" +
                        std::to_wstring(InterlockedIncrement(&counter)) + L"\\";
    if (CreateDirectoryW(path.c_str(), nullptr)) path_ = path;
  }
}

TempSkinFolder::~TempSkinFolder() {
  if (!path_.empty()) {
    EmptyFolder(path_);
    RemoveDirectoryW(path_.c_str());
  }
}

RECT TestSkin::ButtonRect(int n) {
  const POINT c = ButtonCentre(n);
  return {c.x - kButtonSize / 2, c.y - kButtonSize / 2, c.x + kButtonSize / 2,
          c.y + kButtonSize / 2};
}

POINT TestSkin::ButtonCentre(int n) {
  const double angle = (-90.0 + 45.0 * (n - 1)) * 3.14159265358979 / 180.0;
  return {kCentre + static_cast<LONG>(std::lround(70 * std::cos(angle))),
          kCentre + static_cast<LONG>(std::lround(70 * std::sin(angle)))};
}

std::uint32_t TestSkin::CentreColour(int n) {
  return 0xFF000000u | (static_cast<std::uint32_t>(20 + n * 25) << 16) | 0x00C800u |
         static_cast<std::uint32_t>(230 - n * 25);
}

std::uint32_t TestSkin::OverlayColour(int n) {
  return 0xFFF00000u | (static_cast<std::uint32_t>(n * 25) << 8) | 0x10u;
}

bool TestSkin::Write(const std::wstring& folder, const Options& options) {
  bool ok = true;
  const auto solid = [](std::uint32_t colour) { return [colour](int, int) { return colour; }; };
  ok &= WriteBmp(folder + L"normal.bmp", 185, 185, solid(0xFF404040));
  ok &= WriteBmp(folder + L"over.bmp", 185, 185, solid(0xFF808080));
  ok &= WriteBmp(folder + L"down.bmp", 185, 185, solid(0xFFC0C0C0));
  ok &= WriteBmp(folder + L"disable.bmp", kDisableWidth, kDisableHeight, solid(0xFF202020));
  if (options.dialImage) {
    ok &= WritePng(folder + L"dial.png", 185, 185, [](int x, int y) -> std::uint32_t {
      const double d = std::hypot(x + 0.5 - (kCentre + 0.5), y + 0.5 - (kCentre + 0.5));
      if (d <= kDiscRadius) return kDialColour;
      if (d <= kRingRadius) return kRingColour;
      return 0;
    });
  }
  for (int n = 0; n <= 8; ++n) {
    ok &=
        WritePng(folder + L"centre" + std::to_wstring(n) + L".png", 50, 50, solid(CentreColour(n)));
  }
  const wchar_t* masks[8] = {L"yinliang_mask.bmp",  L"intensity_mask.bmp", L"updown_mask.bmp",
                             L"leftright_mask.bmp", L"kuohao_mask.bmp",    L"scrollupdown_mask.bmp",
                             L"fangda_mask.bmp",    L"page_mask.bmp"};
  std::string ini =
      "[SCREEN]\r\nMask=dial.png\r\nNormal=normal.bmp\r\nOver=over.bmp\r\n"
      "Down=down.bmp\r\nDisable=disable.bmp\r\n";
  for (int n = 0; n <= 8; ++n) {
    ini += "Torv" + std::to_string(n) + "=centre" + std::to_string(n) + ".png\r\n";
  }
  for (int n = 1; n <= 8; ++n) {
    ini += "Button" + std::to_string(n) + "=overlay" + std::to_string(n) + ".png\r\n";
  }
  ini += "[BUTTONPOS]\r\n";
  for (int n = 1; n <= 8; ++n) {
    const RECT r = ButtonRect(n);
    ini += std::to_string(n) + "=sector" + std::to_string(n) + "," + std::to_string(r.left) + "," +
           std::to_string(r.top) + "," + std::to_string(kButtonSize) + "," +
           std::to_string(kButtonSize) + "\r\n";
    if (n != options.missingOverlay) {
      ok &= WritePng(folder + L"overlay" + std::to_wstring(n) + L".png", 185, 185,
                     [r, n](int x, int y) -> std::uint32_t {
                       const bool on = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
                       return on ? OverlayColour(n) : 0;
                     });
    }
    if (n != options.missingMask) {
      ok &= WriteBmp(folder + masks[n - 1], kButtonSize, kButtonSize, [](int x, int y) {
        const double d = std::hypot(x + 0.5 - kButtonSize / 2.0, y + 0.5 - kButtonSize / 2.0);
        return d <= 12 ? 0xFF000000u : 0xFFFFFFFFu;
      });
    }
  }
  ok &= WriteText(folder + L"skin_scroll.ini", ini);
  return ok;
}

}  // namespace torvo::testing
