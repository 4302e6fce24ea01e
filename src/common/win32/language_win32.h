// Texts of the language library (lan.dll); a missing library or string
// gives the empty text.
#pragma once

#include <windows.h>

#include <string>

namespace torvo::win32 {

// String `id` of Shell().languageLibrary, read into a 260-character buffer.
std::wstring LanguageText(UINT id);

}  // namespace torvo::win32
