// Texts of the language library (lan.dll); a missing library or string
// gives the empty text.
#pragma once

#include <windows.h>

#include <string>

namespace torvo::win32 {

// String ids of the language library.
inline constexpr UINT kOpenConfiguratorTextId = 1000;  // tray menu: open the configurator
inline constexpr UINT kExitTextId = 1001;              // tray menu: exit
inline constexpr UINT kTrayTipTextId = 1002;           // the tray icon's tip
inline constexpr UINT kHideDialTextId = 1042;          // dial menu: hide the dial
inline constexpr UINT kDefaultProfileTextId = 1111;    // name of a new library profile

// String `id` of Shell().languageLibrary, read into a 260-character buffer.
std::wstring LanguageText(UINT id);

}  // namespace torvo::win32
