#include "dial/win32/skin_win32.h"

#include <windows.h>

#include <vector>

#include "common/win32/text_win32.h"

namespace torvo::win32 {

std::u16string CIniFile::GetString(std::u16string_view section, std::u16string_view key,
                                   std::u16string_view defaultValue) const {
  std::vector<wchar_t> buffer(kValueBufferLength, L'\0');
  const std::u16string sectionText(section);
  const std::u16string keyText(key);
  const std::u16string defaultText(defaultValue);
  const DWORD length = GetPrivateProfileStringW(W(sectionText), W(keyText), W(defaultText),
                                                buffer.data(), kValueBufferLength, W(path_));
  return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), length);
}

}  // namespace torvo::win32
