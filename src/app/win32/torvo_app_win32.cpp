#include "app/win32/torvo_app_win32.h"

#include <objidl.h>
#include <commctrl.h>
#include <gdiplus.h>

#include <memory>

#include "app/startup.h"
#include "app/win32/torvo_dlg_win32.h"
#include "common/desktop.h"
#include "menu/win32/menu_hook_win32.h"

namespace torvo::win32 {

BOOL CTorvoApp::InitInstance() {
  // Only the first character of the argument text counts.
  const std::u16string_view commandLine(reinterpret_cast<const char16_t*>(GetCommandLineW()));
  const bool configuratorRequested = IsConfiguratorRequested(ArgumentText(commandLine));

  // Single instance. A second one forwards the configurator request.
  instanceMutex_ = CreateMutexW(nullptr, FALSE, kInstanceMutexName);
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(instanceMutex_);
    instanceMutex_ = nullptr;
    if (configuratorRequested) {
      HWND first = FindWindowW(nullptr, reinterpret_cast<const wchar_t*>(kOwnWindowTitle));
      if (first != nullptr) PostMessageW(first, WM_COMMAND, ID_OPEN_CONFIGURATOR, 0);
    }
    return FALSE;
  }

  // The menu hook of this thread, for the life of the process.
  InstallMenuHook(instance_);

  // Common controls.
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = 0xFF;  // ICC_WIN95_CLASSES
  InitCommonControlsEx(&controls);

  // The graphics library.
  Gdiplus::GdiplusStartupInput input;
  gdiplusStarted_ = Gdiplus::GdiplusStartup(&gdiplusToken_, &input, nullptr) == Gdiplus::Ok;

  // The main window, run modally; no message loop follows.
  auto window = std::make_unique<CTorvoDlg>(instance_, configuratorRequested);
  window->DoModal();
  window.reset();
  return FALSE;
}

int CTorvoApp::ExitInstance() {
  if (gdiplusStarted_) {
    Gdiplus::GdiplusShutdown(gdiplusToken_);
    gdiplusStarted_ = false;
  }
  return 0;
}

}  // namespace torvo::win32
