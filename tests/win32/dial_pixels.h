// The dial as CDialView draws it for a state, read back as 185 x 185
// top-down 0xAARRGGBB pixels (premultiplied): what the tests and benchmarks
// compare the screen and other drawings with.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "dial/dial_plan.h"
#include "dial/win32/dial_view_win32.h"

namespace torvo::testing {

// Empty when the view has no dial image to draw.
inline std::vector<std::uint32_t> DrawnDialPixels(const win32::CDialView& view, int function,
                                                  int preview) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), kDialSize, -kDialSize, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP section = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  std::vector<std::uint32_t> pixels;
  if (dc != nullptr && section != nullptr && bits != nullptr) {
    HGDIOBJ old = SelectObject(dc, section);
    if (view.DrawDial(dc, function, preview)) {
      GdiFlush();
      pixels.resize(static_cast<std::size_t>(kDialSize) * kDialSize);
      std::memcpy(pixels.data(), bits, pixels.size() * sizeof(std::uint32_t));
    }
    SelectObject(dc, old);
  }
  if (section != nullptr) DeleteObject(section);
  if (dc != nullptr) DeleteDC(dc);
  return pixels;
}

}  // namespace torvo::testing
