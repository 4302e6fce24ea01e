// Values of the shell set once at start and read by the main window, the
// tray, the dial and the menus. One per process. The device link keeps its
// own (device/win32/device_link_win32.h).
#pragma once

#include <windows.h>

#include <string>

namespace torvo::win32 {

struct ShellValues {
  HHOOK menuHook = nullptr;
  std::u16string programFolder;  // ends with a backslash
  std::u16string skinFolder;     // programFolder + "skins\"
  HMODULE languageLibrary = nullptr;
};

ShellValues& Shell();

}  // namespace torvo::win32
