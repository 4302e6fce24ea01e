// Entry point of Torvo.exe.
#include <windows.h>

#include <string>

#include "app/win32/torvo_app_win32.h"
#include "common/trace.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  torvo::SetTraceSink([](std::u16string_view text) {
    const std::u16string copy(text);
    OutputDebugStringW(reinterpret_cast<const wchar_t*>(copy.c_str()));
  });
  torvo::win32::CTorvoApp app(instance);
  app.InitInstance();
  return app.ExitInstance();
}
