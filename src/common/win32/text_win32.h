// UTF-16 texts of the core as the platform's wide characters, and back.
#pragma once

#include <string>

namespace torvo::win32 {

// Views a UTF-16 text as the platform's wide characters.
inline const wchar_t* W(const std::u16string& text) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t));
  return reinterpret_cast<const wchar_t*>(text.c_str());
}
// A wide-character text (null gives the empty text) as UTF-16.
inline std::u16string U16(const wchar_t* text) {
  return text != nullptr ? std::u16string(reinterpret_cast<const char16_t*>(text))
                         : std::u16string();
}

}  // namespace torvo::win32
