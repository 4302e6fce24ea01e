#include "common/win32/desktop_win32.h"

#include <windows.h>
#include <shellapi.h>

#include "common/win32/text_win32.h"

namespace torvo::win32 {

WindowHandle Win32Desktop::FindWindowByTitle(const std::u16string& title) {
  return reinterpret_cast<WindowHandle>(FindWindowW(nullptr, W(title)));
}

bool Win32Desktop::PostMessageTo(WindowHandle window, unsigned message, std::uintptr_t wParam,
                                 std::intptr_t lParam) {
  return PostMessageW(reinterpret_cast<HWND>(window), message, wParam, lParam) != FALSE;
}

bool Win32Desktop::StartProgram(const std::u16string& path) {
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", W(path), nullptr, nullptr, SW_SHOW));
  return result > 32;
}

bool Win32Desktop::WriteIniString(const std::u16string& file, const std::u16string& section,
                                  const std::u16string& key, const std::u16string& value) {
  return WritePrivateProfileStringW(W(section), W(key), W(value), W(file)) != FALSE;
}

}  // namespace torvo::win32
