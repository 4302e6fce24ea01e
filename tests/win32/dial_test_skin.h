// Small skins made by the tests: BMP state pictures and masks, PNG images
// with alpha, and "skin_scroll.ini", written into a folder at run time, with
// the colours and places a test checks on screen or in a composed dial.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace torvo::testing {

// Pixel colours as 0xAARRGGBB.
using PixelFunction = std::function<std::uint32_t(int x, int y)>;

// Writes a 24-bit bottom-up BMP (the alpha byte of each pixel is dropped).
bool WriteBmp(const std::wstring& path, int width, int height, const PixelFunction& pixel);
// Writes a 32-bit PNG with alpha through GDI+ (started on first use).
bool WritePng(const std::wstring& path, int width, int height, const PixelFunction& pixel);
bool WriteText(const std::wstring& path, const std::string& text);
// Writes an enhanced metafile of width x height pixels of the screen filled
// with `colour` (0x00RRGGBB), its top-left quarter with `corner`.
bool WriteEmf(const std::wstring& path, int width, int height, std::uint32_t colour,
              std::uint32_t corner);
// Writes a 4-bit palette BMP whose pixels are `colours[index(x, y)]`.
bool WriteBmp4(const std::wstring& path, int width, int height,
               const std::vector<std::uint32_t>& colours,
               const std::function<int(int x, int y)>& index);
// A BMP of 54 bytes whose header claims 60000 x 60000 pixels of 24 bits.
std::string HugeBmpHeader();

// A fresh temporary folder ending with a backslash, removed with its files.
class TempSkinFolder {
 public:
  TempSkinFolder();
  ~TempSkinFolder();
  const std::wstring& Path() const { return path_; }

 private:
  std::wstring path_;
};

// The test skin's geometry and colours.
struct TestSkin {
  static constexpr int kCentre = 92;
  static constexpr int kDiscRadius = 86;  // opaque dial
  static constexpr int kRingRadius = 90;  // half-transparent ring out to here
  static constexpr int kButtonSize = 30;
  static constexpr int kDisableWidth = 200;  // the window's size after the skin is read
  static constexpr int kDisableHeight = 190;
  static constexpr std::uint32_t kDialColour = 0xFF2060C0;
  static constexpr std::uint32_t kRingColour = 0x80C86432;  // alpha 128

  // Button n (1..8): a square on a circle of radius 70 round the centre,
  // starting at the top and going clockwise; its mask is a disc.
  static RECT ButtonRect(int n);
  static POINT ButtonCentre(int n);
  static std::uint32_t CentreColour(int n);   // centre image n (0..8), opaque
  static std::uint32_t OverlayColour(int n);  // sector overlay n, opaque on its square

  // Writes every file of the skin into `folder`. Options leave parts out.
  struct Options {
    bool dialImage = true;
    int missingMask = 0;     // function whose mask file is not written (0: none)
    int missingOverlay = 0;  // function whose overlay image is not written
  };
  static bool Write(const std::wstring& folder, const Options& options);
  static bool Write(const std::wstring& folder) { return Write(folder, Options{}); }
};

// Starts GDI+ in this process once (for images made or drawn by a test).
void StartGdiplusOnce();
// Deletes every file in `folder` (not its subfolders).
void EmptyFolder(const std::wstring& folder);

}  // namespace torvo::testing
