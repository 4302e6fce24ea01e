// LoadLibraryW / GetProcAddress / FreeLibrary behind the ModuleLoader port.
#pragma once

#include "device/device_library.h"

namespace torvo::win32 {

class Win32ModuleLoader final : public ModuleLoader {
 public:
  void* Load(const std::u16string& path) override;
  void* Symbol(void* module, const char* name) override;
  void Free(void* module) override;
};

}  // namespace torvo::win32
