// The suite's device-access library as the program uses it: six entry points
// bound at run time. A missing library or entry point behaves as a call that
// failed (result 0); nothing is ever called through a null pointer.
#pragma once

#include <cstdint>
#include <string>

#include "common/messages.h"
#include "common/desktop.h"

namespace torvo {

class DeviceLibrary {
 public:
  virtual ~DeviceLibrary() = default;
  virtual int OpenDevMonitor(WindowHandle window, unsigned eventMessage,
                             unsigned connectionMessage) = 0;
  virtual int CloseDevMonitor() = 0;
  virtual int OpenFeatureDevice() = 0;
  virtual int CloseFeatureDevice() = 0;
  virtual int SetFeature(std::uint8_t* report, int length) = 0;
  virtual int GetFeature(std::uint8_t* report, int length) = 0;
};

// Loads modules and looks up their exports (LoadLibraryW/GetProcAddress on
// Windows; a fake in native tests).
class ModuleLoader {
 public:
  virtual ~ModuleLoader() = default;
  virtual void* Load(const std::u16string& path) = 0;
  virtual void* Symbol(void* module, const char* name) = 0;
  virtual void Free(void* module) = 0;
};

#if defined(_WIN32) && defined(__i386__)
#define TORVO_CDECL __attribute__((cdecl))
#elif defined(_MSC_VER) && defined(_M_IX86)
#define TORVO_CDECL __cdecl
#else
#define TORVO_CDECL
#endif

// The binding of "hiddriver.dll" from the program folder.
class BoundDeviceLibrary final : public DeviceLibrary {
 public:
  using OpenMonitorFn = int(TORVO_CDECL*)(void* window, unsigned, unsigned);
  using VoidFn = int(TORVO_CDECL*)();
  using ReportFn = int(TORVO_CDECL*)(unsigned char*, int);

  static constexpr char16_t kFileName[] = u"hiddriver.dll";

  explicit BoundDeviceLibrary(ModuleLoader& loader) : loader_(loader) {}
  ~BoundDeviceLibrary() override;
  BoundDeviceLibrary(const BoundDeviceLibrary&) = delete;
  BoundDeviceLibrary& operator=(const BoundDeviceLibrary&) = delete;

  // Loads programFolder + "hiddriver.dll" and looks up the six entry points.
  // Returns the number of entry points found (6 when complete); traces what
  // is missing.
  int Bind(const std::u16string& programFolder);
  // Forgets the entry points and frees the module. Only call it once no
  // thread can be inside the library any more.
  void Unbind();
  bool IsLoaded() const { return module_ != nullptr; }

  int OpenDevMonitor(WindowHandle window, unsigned eventMessage,
                     unsigned connectionMessage) override;
  int CloseDevMonitor() override;
  int OpenFeatureDevice() override;
  int CloseFeatureDevice() override;
  int SetFeature(std::uint8_t* report, int length) override;
  int GetFeature(std::uint8_t* report, int length) override;

 private:
  ModuleLoader& loader_;
  void* module_ = nullptr;
  OpenMonitorFn openDevMonitor_ = nullptr;
  VoidFn closeDevMonitor_ = nullptr;
  VoidFn openFeatureDevice_ = nullptr;
  VoidFn closeFeatureDevice_ = nullptr;
  ReportFn setFeature_ = nullptr;
  ReportFn getFeature_ = nullptr;
};

}  // namespace torvo
