// What "skin_scroll.ini" says, read through an ini port: the image paths of
// the dial, the four state pictures, and the eight sector buttons with their
// fixed mask file names and rectangles. Function n (1..8) is button n - 1.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace torvo {

inline constexpr int kDialFunctionCount = 8;
inline constexpr char16_t kSkinFileName[] = u"skin_scroll.ini";
// Image paths are kept in fields of 500 wide characters with a terminator.
inline constexpr std::size_t kMaxImagePathLength = 499;

struct ButtonRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  std::int32_t Width() const { return right - left; }
  std::int32_t Height() const { return bottom - top; }
  friend bool operator==(const ButtonRect&, const ButtonRect&) = default;
};

// A value "label,x,y,width,height": the text up to the first comma is a
// label and is skipped (without a comma the whole value is scanned); then
// up to four integers as "%d,%d,%d,%d" would read them (white space before
// a number is accepted, the commas must follow the numbers directly,
// scanning stops at the first mismatch and unread numbers are 0); anything
// after the fourth number is ignored. Gives (x, y, x + width, y + height),
// each kept within 32 bits.
ButtonRect ParseButtonPos(std::u16string_view value);

// The mask file of function n (1..8), relative to the skin folder.
std::u16string_view MaskFileName(int function);

// Reads one value of the skin file; missing files, sections and keys read
// as the empty string.
class SkinIni {
 public:
  virtual ~SkinIni() = default;
  virtual std::u16string GetString(std::u16string_view section, std::u16string_view key) = 0;
};

struct SkinButton {
  std::u16string maskPath;
  ButtonRect rect;
};

struct SkinDescription {
  // Paths of the four state pictures (normal, over, down, disabled) and of
  // the images drawn on the dial; none where the path is too long to keep
  // (the picture or image then counts as missing).
  std::array<std::optional<std::u16string>, 4> statePicturePaths;
  std::optional<std::u16string> dialImagePath;
  std::array<std::optional<std::u16string>, 9> centreImagePaths;   // 0..8
  std::array<std::optional<std::u16string>, 9> segmentImagePaths;  // 1..8 used
  std::array<SkinButton, kDialFunctionCount> buttons;              // index n - 1
};

// Every file name is the skin folder followed by the value, as it stands.
SkinDescription ReadSkinDescription(const std::u16string& skinFolder, SkinIni& ini);

}  // namespace torvo
