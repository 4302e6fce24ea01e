// The application object: single instance, the thread's menu hook, common
// controls and the graphics library, then the main window run modally.
#pragma once

#include <windows.h>

#include <cstdint>

namespace torvo::win32 {

inline constexpr wchar_t kInstanceMutexName[] = L"Zenqo_K27_Vistrane_Monitor";

class CTorvoApp {
 public:
  explicit CTorvoApp(HINSTANCE instance) : instance_(instance) {}

  // Runs the whole application; returns when the main window has closed, or
  // at once in a second instance.
  BOOL InitInstance();
  // Shuts the graphics library down; the result is the process exit code.
  int ExitInstance();

 private:
  HINSTANCE instance_;
  ULONG_PTR gdiplusToken_ = 0;
  bool gdiplusStarted_ = false;
  HANDLE instanceMutex_ = nullptr;
};

}  // namespace torvo::win32
