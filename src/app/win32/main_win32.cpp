// Entry point of Torvo.exe.
#include <windows.h>

#include <string>

#include "device/win32/device_link_win32.h"
#include "app/win32/torvo_app_win32.h"
#include "common/trace.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  torvo::SetTraceSink([](std::u16string_view text) {
    const std::u16string copy(text);
    OutputDebugStringW(reinterpret_cast<const wchar_t*>(copy.c_str()));
  });
  torvo::win32::CTorvoApp app(instance);
  app.InitInstance();
  const int exitCode = app.ExitInstance();
  // A thread left inside the device library at shutdown still uses the
  // library and the process values: end the process here, which stops that
  // thread first, instead of returning into the destructors of the static
  // values (which would free the library under it).
  if (torvo::win32::DeviceLink().deviceCallsAbandoned) ExitProcess(static_cast<UINT>(exitCode));
  return exitCode;
}
