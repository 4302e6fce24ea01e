#include "device/win32/module_loader_win32.h"

#include <windows.h>

namespace torvo::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

void* Win32ModuleLoader::Load(const std::u16string& path) {
  return LoadLibraryW(reinterpret_cast<const wchar_t*>(path.c_str()));
}

void* Win32ModuleLoader::Symbol(void* module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void Win32ModuleLoader::Free(void* module) {
  FreeLibrary(static_cast<HMODULE>(module));
}

}  // namespace torvo::win32
