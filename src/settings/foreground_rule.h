// The foreground-application rule: which of the four slots belongs to the
// program that owns the foreground window. A slot belongs to a program when
// the file name (with extension) of its appPath, white space trimmed at both
// ends, equals the program's file name without regard to case (as the system
// compares them, through `text`). An empty or
// blank appPath belongs to no program; the lowest matching slot wins.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/text_comparison.h"
#include "settings/config_block.h"

namespace torvo {

// The text without white space (blank, tab, line breaks, no-break and
// ideographic spaces) at either end.
std::u16string_view TrimWhiteSpace(std::u16string_view text);

// File name plus extension of a path: what follows its last '\', '/' or
// drive colon.
std::u16string_view FileNameOfPath(std::u16string_view path);

// A slot's appPath, read only within its field (up to its first NUL).
std::u16string_view AppPathOf(const ProfileRecord& record);

// The lowest slot whose program is `executable` (a file name, or a path of
// which only the file name counts), or none.
std::optional<int> MatchForegroundSlot(const ConfigBlock& config, std::u16string_view executable,
                                       const CaseInsensitiveText& text);

}  // namespace torvo
