#include "settings/foreground_rule.h"

#include <algorithm>
#include <iterator>

namespace torvo {
namespace {

bool IsWhiteSpace(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0x00A0 || c == 0x3000;
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

std::u16string_view AppPathOf(const ProfileRecord& record) {
  const std::u16string_view field(record.appPath, std::size(record.appPath));
  return field.substr(0, std::min(field.find(u'\0'), field.size()));
}

std::optional<int> MatchForegroundSlot(const ConfigBlock& config, std::u16string_view executable,
                                       const CaseInsensitiveText& text) {
  const std::u16string_view wanted = FileNameOfPath(TrimWhiteSpace(executable));
  if (wanted.empty()) return std::nullopt;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const std::u16string_view path = TrimWhiteSpace(AppPathOf(config.slots[slot]));
    if (path.empty()) continue;
    if (text.Equal(FileNameOfPath(path), wanted)) return slot;
  }
  return std::nullopt;
}

}  // namespace torvo
