// The main window's reactions without the window: each entry point runs one
// decision (device_events.h, sibling_messages.h, foreground_switch.h) on the
// window's settings and dial state and carries out its effects through the
// ports. The Win32 window only unpacks its messages into these calls and
// supplies the few actions that need the window itself (MainWindowActions).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/dial_state.h"
#include "app/shared_block.h"
#include "app/window_effects.h"
#include "common/desktop.h"
#include "device/device_protocol.h"
#include "device/device_state.h"
#include "settings/settings_store.h"

namespace torvo {

// What only the window can do.
class MainWindowActions {
 public:
  virtual ~MainWindowActions() = default;
  // Places the dial at the lower right of the screen, topmost, and shows it.
  virtual void ShowDialWindow() = 0;
  virtual void HideDialWindow() = 0;
  virtual void InvalidateDialWindow() = 0;
  // Starts the system's on-screen keyboard; false when it could not.
  virtual bool StartOnScreenKeyboard() = 0;
  // Hands the worker a request with the current settings; false when the
  // request could not be posted.
  virtual bool PostWorkerRequest(std::uintptr_t request, std::intptr_t parameter) = 0;
  // A device arrival (1) or removal (2).
  virtual void OnConnectionChange(int value) = 0;
};

struct MainWindowPorts {
  SettingsStore& settings;
  DialState& dial;
  Desktop& desktop;
  SharedBlockPort& sharedBlock;
  DeviceProtocol& protocol;
  DeviceFlags& flags;
  MainWindowActions& window;
};

class MainWindowCore {
 public:
  explicit MainWindowCore(const MainWindowPorts& ports) : p_(ports) {}

  // The on-screen display's hand-off file (set at start).
  void SetOsdDataPath(std::u16string path) { osdDataPath_ = std::move(path); }

  void HandleDeviceEvent(std::uint32_t code);
  void OnToggleDial();
  void OnHideDial();
  void CommitDialFunction(int function);
  void OnApplyAllSetting(std::uintptr_t wParam);
  void OnSettingsChanged();
  void FollowForegroundApplication(const std::optional<std::u16string>& foregroundExecutable);
  void SwitchActiveSlot(int slot);

  // Carries out effects in order. True when a worker request among them was
  // posted. The worker is handed the active slot before each effect and
  // after the last (NoteActiveSlot).
  bool Perform(const Effects& effects);

  // Hands the worker the active slot of `config` (DeviceFlags::activeSlot).
  // Called after every change of it: Perform does for every decision; the
  // window does after loading the settings and before posting a request of
  // its own.
  void NoteActiveSlot();

 private:
  void PostTo(const std::u16string& title, const Effect& effect);

  MainWindowPorts p_;
  std::u16string osdDataPath_;
};

}  // namespace torvo
