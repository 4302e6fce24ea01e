#include "dial/skin_description.h"

#include <limits>

#include "common/trace.h"

namespace torvo {
namespace {

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

std::int32_t Clamp32(std::int64_t value) {
  if (value < kInt32Min) return static_cast<std::int32_t>(kInt32Min);
  if (value > kInt32Max) return static_cast<std::int32_t>(kInt32Max);
  return static_cast<std::int32_t>(value);
}

bool IsScanSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

// One "%d" at `pos`: white space, an optional sign, at least one digit.
// Numbers beyond 32 bits are held at the nearest 32-bit value.
bool ScanInt(std::u16string_view text, std::size_t& pos, std::int32_t& out) {
  std::size_t i = pos;
  while (i < text.size() && IsScanSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  if (i >= text.size() || text[i] < u'0' || text[i] > u'9') return false;
  std::int64_t magnitude = 0;
  while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
    if (magnitude <= kInt32Max + 1) magnitude = magnitude * 10 + (text[i] - u'0');
    ++i;
  }
  out = Clamp32(negative ? -magnitude : magnitude);
  pos = i;
  return true;
}

constexpr std::u16string_view kMaskFileNames[kDialFunctionCount] = {
    u"yinliang_mask.bmp", u"intensity_mask.bmp",    u"updown_mask.bmp", u"leftright_mask.bmp",
    u"kuohao_mask.bmp",   u"scrollupdown_mask.bmp", u"fangda_mask.bmp", u"page_mask.bmp",
};

std::optional<std::u16string> ImagePath(const std::u16string& skinFolder,
                                        const std::u16string& value) {
  std::u16string path = skinFolder + value;
  if (path.size() > kMaxImagePathLength) {
    Trace(u"A skin image path of 500 characters or more is refused\n");
    return std::nullopt;
  }
  return path;
}

std::u16string Digit(int n) {
  return std::u16string(1, static_cast<char16_t>(u'0' + n));
}

}  // namespace

ButtonRect ParseButtonPos(std::u16string_view value) {
  const std::size_t comma = value.find(u',');
  const std::u16string_view rest =
      comma == std::u16string_view::npos ? value : value.substr(comma + 1);
  std::int32_t numbers[4] = {0, 0, 0, 0};
  std::size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (pos >= rest.size() || rest[pos] != u',') break;
      ++pos;
    }
    if (!ScanInt(rest, pos, numbers[i])) break;
  }
  const std::int64_t x = numbers[0];
  const std::int64_t y = numbers[1];
  return {numbers[0], numbers[1], Clamp32(x + numbers[2]), Clamp32(y + numbers[3])};
}

std::u16string_view MaskFileName(int function) {
  if (function < 1 || function > kDialFunctionCount) return {};
  return kMaskFileNames[function - 1];
}

SkinDescription ReadSkinDescription(const std::u16string& skinFolder, SkinIni& ini) {
  SkinDescription skin;
  const std::u16string screen = u"SCREEN";
  const std::u16string_view stateKeys[4] = {u"Normal", u"Over", u"Down", u"Disable"};
  for (int i = 0; i < 4; ++i) {
    skin.statePicturePaths[i] = ImagePath(skinFolder, ini.GetString(screen, stateKeys[i]));
  }
  skin.dialImagePath = ImagePath(skinFolder, ini.GetString(screen, u"Mask"));
  skin.centreImagePaths[0] = ImagePath(skinFolder, ini.GetString(screen, u"Torv0"));
  for (int n = 1; n <= kDialFunctionCount; ++n) {
    skin.centreImagePaths[n] = ImagePath(skinFolder, ini.GetString(screen, u"Torv" + Digit(n)));
    skin.segmentImagePaths[n] = ImagePath(skinFolder, ini.GetString(screen, u"Button" + Digit(n)));
  }
  for (int n = 1; n <= kDialFunctionCount; ++n) {
    SkinButton& button = skin.buttons[n - 1];
    button.maskPath = skinFolder + std::u16string(MaskFileName(n));
    button.rect = ParseButtonPos(ini.GetString(u"BUTTONPOS", Digit(n)));
  }
  return skin;
}

}  // namespace torvo
