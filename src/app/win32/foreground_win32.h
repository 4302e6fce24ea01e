// The program that owns the foreground window, for the foreground rule.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "common/text_comparison.h"

namespace torvo::win32 {

// The file name (no folder) of the program that owns the foreground window;
// none when there is no foreground window or its process is not found.
// Asks the process itself first and walks a process snapshot only when the
// process cannot be asked (another user's or a protected process), so the
// answer is the snapshot's for every process.
std::optional<std::u16string> ForegroundExecutableName();

// Program names compared as the system compares them (lstrcmpiW).
class Win32CaseInsensitiveText final : public CaseInsensitiveText {
 public:
  bool Equal(std::u16string_view a, std::u16string_view b) const override;
};

// The two ways to the name, for the benchmark: by a process snapshot walk
// (Toolhelp), and by asking the process for its image path.
std::optional<std::u16string> ExecutableNameBySnapshot(DWORD processId);
std::optional<std::u16string> ExecutableNameByQuery(DWORD processId);

}  // namespace torvo::win32
