#include "common/win32/language_win32.h"

#include "common/win32/shell_values_win32.h"

namespace torvo::win32 {

std::wstring LanguageText(UINT id) {
  HMODULE library = Shell().languageLibrary;
  if (library == nullptr) return {};
  wchar_t text[260] = {};
  const int length = LoadStringW(library, id, text, 260);
  return length > 0 ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
}

}  // namespace torvo::win32
