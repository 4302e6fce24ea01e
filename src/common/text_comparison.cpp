#include "common/text_comparison.h"

#include <algorithm>

namespace torvo {
namespace {

char16_t FoldCase(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 0x20);
  if (c < 0x80) return c;
  // Latin-1: À..Þ except the multiplication sign.
  if (c >= 0x00C0 && c <= 0x00DE && c != 0x00D7) return static_cast<char16_t>(c + 0x20);
  // Latin Extended-A: upper and lower case alternate in pairs.
  if (c >= 0x0100 && c <= 0x0137 && (c % 2) == 0) return static_cast<char16_t>(c + 1);
  if (c >= 0x0139 && c <= 0x0148 && (c % 2) == 1) return static_cast<char16_t>(c + 1);
  if (c >= 0x014A && c <= 0x0177 && (c % 2) == 0) return static_cast<char16_t>(c + 1);
  // Greek capitals (the gap at U+03A2 has no letter).
  if (c >= 0x0391 && c <= 0x03A9 && c != 0x03A2) return static_cast<char16_t>(c + 0x20);
  // Cyrillic: Ѐ..Џ and А..Я.
  if (c >= 0x0400 && c <= 0x040F) return static_cast<char16_t>(c + 0x50);
  if (c >= 0x0410 && c <= 0x042F) return static_cast<char16_t>(c + 0x20);
  return c;
}

}  // namespace

bool SimpleCaseInsensitiveText::Equal(std::u16string_view a, std::u16string_view b) const {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char16_t x, char16_t y) { return FoldCase(x) == FoldCase(y); });
}

}  // namespace torvo
