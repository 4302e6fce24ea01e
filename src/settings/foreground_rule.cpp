#include "settings/foreground_rule.h"

#include <algorithm>
#include <iterator>

namespace torvo {
namespace {

bool IsWhiteSpace(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0x00A0 || c == 0x3000;
}

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

std::u16string_view TrimWhiteSpace(std::u16string_view text) {
  while (!text.empty() && IsWhiteSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsWhiteSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::u16string_view FileNameOfPath(std::u16string_view path) {
  const std::size_t separator = path.find_last_of(u"\\/:");
  if (separator == std::u16string_view::npos) return path;
  return path.substr(separator + 1);
}

bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char16_t x, char16_t y) { return FoldCase(x) == FoldCase(y); });
}

std::u16string_view AppPathOf(const ProfileRecord& record) {
  const std::u16string_view field(record.appPath, std::size(record.appPath));
  return field.substr(0, std::min(field.find(u'\0'), field.size()));
}

std::optional<int> MatchForegroundSlot(const ConfigBlock& config, std::u16string_view executable) {
  const std::u16string_view wanted = FileNameOfPath(TrimWhiteSpace(executable));
  if (wanted.empty()) return std::nullopt;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const std::u16string_view path = TrimWhiteSpace(AppPathOf(config.slots[slot]));
    if (path.empty()) continue;
    if (EqualIgnoringCase(FileNameOfPath(path), wanted)) return slot;
  }
  return std::nullopt;
}

}  // namespace torvo
