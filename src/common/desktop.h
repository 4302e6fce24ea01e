// The desktop as the core needs it: windows of the suite's other programs
// found by exact title, posted notices, started programs, the ini hand-off.
#pragma once

#include <cstdint>
#include <string>

namespace torvo {

using WindowHandle = std::uintptr_t;  // 0 = no window

class Desktop {
 public:
  virtual ~Desktop() = default;
  virtual WindowHandle FindWindowByTitle(const std::u16string& title) = 0;
  virtual bool PostMessageTo(WindowHandle window, unsigned message, std::uintptr_t wParam,
                             std::intptr_t lParam) = 0;
  // Starts a program with the shell's "open" verb; false when it could not.
  virtual bool StartProgram(const std::u16string& path) = 0;
  virtual bool WriteIniString(const std::u16string& file, const std::u16string& section,
                              const std::u16string& key, const std::u16string& value) = 0;
};

// Window titles of the suite.
inline constexpr char16_t kOwnWindowTitle[] = u"Zenqo_K27_Vistrane_Torv";
inline constexpr char16_t kConfiguratorTitle[] = u"Vistrane";
inline constexpr char16_t kOsdTitle[] = u"Zenqo_K27_Vistrane_OSD";

// Whether the suite's window titled `title` exists now.
bool WindowOpen(Desktop& desktop, const std::u16string& title);
// Posts to the suite's window titled `title`, looked up now, when it
// exists; false when it does not (nothing is posted then).
bool PostToWindow(Desktop& desktop, const std::u16string& title, unsigned message,
                  std::uintptr_t wParam = 0, std::intptr_t lParam = 0);

}  // namespace torvo
