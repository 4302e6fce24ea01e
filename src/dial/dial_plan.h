// What the dial draws for the function it shows and whether that function is
// only previewed: the dial image over the whole dial, a centre image in the
// centre square, and the chosen sector's overlay over the whole dial, in
// that order, leaving out images that are missing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace torvo {

inline constexpr int kDialSize = 185;

struct DialSquare {
  int left = 0;
  int top = 0;
  int size = 0;
  friend bool operator==(const DialSquare&, const DialSquare&) = default;
};
inline constexpr DialSquare kWholeDial{0, 0, kDialSize};
inline constexpr DialSquare kCentreSquare{47, 47, 91};

enum class DialImageKind { kDial, kCentre, kSegment };

struct DialDraw {
  DialImageKind kind = DialImageKind::kDial;
  int index = 0;  // centre 0..8, segment 1..8; 0 for the dial image
  DialSquare square;
  friend bool operator==(const DialDraw&, const DialDraw&) = default;
};

// Which images exist (were loaded).
struct DialImagesPresent {
  bool dial = false;
  std::array<bool, 9> centre{};   // 0..8
  std::array<bool, 9> segment{};  // 1..8 used
};

// A function outside 1..8 (a stored value is not range-checked) shows as no
// function. A nonzero `previewMode` shows the "none" centre with the sector
// lit. Nothing is drawn without the dial image: its shape is the window's.
std::vector<DialDraw> PlanDial(int currentFunction, int previewMode,
                               const DialImagesPresent& present);

// The function the dial shows for a value from the settings: 1..8 as it is,
// anything else 0.
int ShownFunction(int currentFunction);

// A rectangle of pixels: columns left .. left + width - 1, rows top .. top +
// height - 1.
struct PixelBox {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const PixelBox&, const PixelBox&) = default;
};

// The smallest box holding every pixel of a 32-bit picture whose alpha (the
// top byte) is not zero; none when every pixel is fully transparent. Rows
// are `rowStep` pixels apart, the first row first. Blending a fully
// transparent pixel changes nothing, so only this box of a sector overlay
// needs drawing.
std::optional<PixelBox> VisibleBox(const std::uint32_t* pixels, int width, int height,
                                   std::ptrdiff_t rowStep);

}  // namespace torvo
