// The virtual keyboard in the test's own process, behind the device-library
// port: every report is checked and decoded into its model by the keyboard's
// own rules, on the caller's clock. Needs the virtual keyboard's portable
// part (torvo_vkb_core). Header-only, no GoogleTest.
#pragma once

#include <cstdint>
#include <memory>

#include "common/clock.h"
#include "device/device_library.h"
#include "hiddriver/control_block.h"
#include "hiddriver/keyboard_state.h"

namespace torvo::testing {

class InProcessKeyboard final : public DeviceLibrary {
 public:
  explicit InProcessKeyboard(Clock& clock) : clock_(clock) { vkb::InitControlBlock(*block, true); }
  int OpenDevMonitor(WindowHandle, unsigned, unsigned) override { return 1; }
  int CloseDevMonitor() override { return 1; }
  int OpenFeatureDevice() override { return vkb::HandleOpenFeatureDevice(*block); }
  int CloseFeatureDevice() override { return vkb::HandleCloseFeatureDevice(*block); }
  int SetFeature(std::uint8_t* report, int length) override {
    return vkb::HandleSetFeature(*block, report, length, Tick()).result;
  }
  int GetFeature(std::uint8_t* report, int length) override {
    return vkb::HandleGetFeature(*block, report, length, Tick()).result;
  }
  std::unique_ptr<vkb::ControlBlock> block = std::make_unique<vkb::ControlBlock>();

 private:
  std::uint32_t Tick() { return static_cast<std::uint32_t>(clock_.NowMs()); }
  Clock& clock_;
};

}  // namespace torvo::testing
