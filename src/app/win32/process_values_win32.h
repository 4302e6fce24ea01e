// Values set once at start and read by the main window, the tray, the device
// link and the menus. One per process.
#pragma once

#include <windows.h>

#include <string>

#include "device/device_library.h"
#include "device/device_state.h"
#include "device/win32/module_loader_win32.h"

namespace torvo::win32 {

struct ProcessValues {
  int configuratorRequested = 0;
  HHOOK menuHook = nullptr;
  std::u16string programFolder;  // ends with a backslash
  std::u16string skinFolder;     // programFolder + "skins\"
  HMODULE languageLibrary = nullptr;
  HANDLE workerThread = nullptr;
  DWORD workerThreadId = 0;
  DeviceFlags deviceFlags;
  // Set when a thread was left inside the device library at shutdown: the
  // library is then not freed, and the process ends without running the
  // destructors of what that thread may still use.
  bool deviceCallsAbandoned = false;
  Win32ModuleLoader moduleLoader;
  BoundDeviceLibrary deviceLibrary{moduleLoader};
};

ProcessValues& Process();

// Views a UTF-16 text as the platform's wide characters.
inline const wchar_t* W(const std::u16string& text) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t));
  return reinterpret_cast<const wchar_t*>(text.c_str());
}
inline std::u16string U16(const wchar_t* text) {
  return text != nullptr ? std::u16string(reinterpret_cast<const char16_t*>(text))
                         : std::u16string();
}

}  // namespace torvo::win32
