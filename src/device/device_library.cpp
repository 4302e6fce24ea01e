#include "device/device_library.h"

#include "common/trace.h"

namespace torvo {
namespace {

template <typename Fn>
Fn Lookup(ModuleLoader& loader, void* module, const char* name, int& found) {
  void* symbol = loader.Symbol(module, name);
  if (symbol == nullptr) {
    Trace(u"hiddriver.dll lacks the entry point " + ToU16(name) + u"; calls to it fail\n");
    return nullptr;
  }
  ++found;
  return reinterpret_cast<Fn>(symbol);
}

}  // namespace

BoundDeviceLibrary::~BoundDeviceLibrary() {
  Unbind();
}

int BoundDeviceLibrary::Bind(const std::u16string& programFolder) {
  Unbind();
  module_ = loader_.Load(programFolder + kFileName);
  if (module_ == nullptr) {
    Trace(u"hiddriver.dll could not be loaded; the device counts as absent\n");
    return 0;
  }
  int found = 0;
  openDevMonitor_ = Lookup<OpenMonitorFn>(loader_, module_, "Open_DevMonitor", found);
  closeDevMonitor_ = Lookup<VoidFn>(loader_, module_, "Close_DevMonitor", found);
  openFeatureDevice_ = Lookup<VoidFn>(loader_, module_, "Open_FeatureDevice", found);
  closeFeatureDevice_ = Lookup<VoidFn>(loader_, module_, "Close_FeatureDevice", found);
  setFeature_ = Lookup<ReportFn>(loader_, module_, "SetFeature", found);
  getFeature_ = Lookup<ReportFn>(loader_, module_, "GetFeature", found);
  return found;
}

void BoundDeviceLibrary::Unbind() {
  openDevMonitor_ = nullptr;
  closeDevMonitor_ = nullptr;
  openFeatureDevice_ = nullptr;
  closeFeatureDevice_ = nullptr;
  setFeature_ = nullptr;
  getFeature_ = nullptr;
  if (module_ != nullptr) {
    loader_.Free(module_);
    module_ = nullptr;
  }
}

int BoundDeviceLibrary::OpenDevMonitor(WindowHandle window, unsigned eventMessage,
                                       unsigned connectionMessage) {
  if (openDevMonitor_ == nullptr) return 0;
  return openDevMonitor_(reinterpret_cast<void*>(window), eventMessage, connectionMessage);
}

int BoundDeviceLibrary::CloseDevMonitor() {
  return closeDevMonitor_ != nullptr ? closeDevMonitor_() : 0;
}

int BoundDeviceLibrary::OpenFeatureDevice() {
  return openFeatureDevice_ != nullptr ? openFeatureDevice_() : 0;
}

int BoundDeviceLibrary::CloseFeatureDevice() {
  return closeFeatureDevice_ != nullptr ? closeFeatureDevice_() : 0;
}

int BoundDeviceLibrary::SetFeature(std::uint8_t* report, int length) {
  if (setFeature_ == nullptr || report == nullptr || length <= 0) return 0;
  return setFeature_(report, length);
}

int BoundDeviceLibrary::GetFeature(std::uint8_t* report, int length) {
  if (getFeature_ == nullptr || report == nullptr || length <= 0) return 0;
  return getFeature_(report, length);
}

}  // namespace torvo
