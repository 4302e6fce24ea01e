// The Desktop port on Windows: FindWindowW, PostMessageW, ShellExecuteW and
// WritePrivateProfileStringW.
#pragma once

#include "common/desktop.h"

namespace torvo::win32 {

class Win32Desktop final : public Desktop {
 public:
  WindowHandle FindWindowByTitle(const std::u16string& title) override;
  bool PostMessageTo(WindowHandle window, unsigned message, std::uintptr_t wParam,
                     std::intptr_t lParam) override;
  bool StartProgram(const std::u16string& path) override;
  bool WriteIniString(const std::u16string& file, const std::u16string& section,
                      const std::u16string& key, const std::u16string& value) override;
};

}  // namespace torvo::win32
