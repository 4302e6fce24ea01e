#include "app/main_window_core.h"

#include "app/device_events.h"
#include "app/foreground_switch.h"
#include "app/sibling_messages.h"
#include "common/trace.h"

namespace torvo {

void MainWindowCore::HandleDeviceEvent(std::uint32_t code) {
  // Only the on-screen keyboard request depends on the configurator's window.
  const bool configuratorOpen = (code >> 16) == kEventOnScreenKeyboard &&
                                p_.desktop.FindWindowByTitle(kConfiguratorTitle) != 0;
  Perform(torvo::HandleDeviceEvent(code, p_.settings.config, p_.dial, configuratorOpen));
}

void MainWindowCore::OnToggleDial() {
  Perform(torvo::OnToggleDial(p_.settings.config, p_.dial));
}

void MainWindowCore::OnHideDial() {
  Perform(torvo::OnHideDial(p_.dial));
}

void MainWindowCore::CommitDialFunction(int function) {
  Perform(torvo::CommitDialFunction(function, p_.settings.config, p_.dial));
}

void MainWindowCore::OnApplyAllSetting(std::uintptr_t wParam) {
  if (Perform(torvo::OnApplyAllSetting(wParam, p_.flags.devicePresence.load()))) return;
  // No upload was requested: the configurator waits for an answer all the same.
  Perform(AnswerApplyAtOnce(p_.desktop.FindWindowByTitle(kConfiguratorTitle) != 0));
}

void MainWindowCore::OnSettingsChanged() {
  Perform(torvo::OnSettingsChanged());
}

void MainWindowCore::FollowForegroundApplication(
    const std::optional<std::u16string>& foregroundExecutable) {
  Perform(torvo::FollowForegroundApplication(foregroundExecutable, p_.settings.config));
}

void MainWindowCore::SwitchActiveSlot(int slot) {
  Perform(torvo::SwitchActiveSlot(slot, p_.settings.config));
}

bool MainWindowCore::Perform(const Effects& effects) {
  bool workerPosted = false;
  for (const Effect& e : effects) {
    // The decision may have switched the slot, and an adopted block may name
    // another one.
    NoteActiveSlot();
    switch (e.kind) {
      case EffectKind::kPublishConfig:
        p_.sharedBlock.Publish(p_.settings.config);
        break;
      case EffectKind::kAdoptSharedConfig:
        // The block was written by other programs: bounded before any use.
        if (p_.sharedBlock.Adopt(p_.settings.config)) BoundAdoptedBlock(p_.settings.config);
        break;
      case EffectKind::kPostToConfigurator:
        PostTo(kConfiguratorTitle, e);
        break;
      case EffectKind::kPostToOsd:
        PostTo(kOsdTitle, e);
        break;
      case EffectKind::kSaveConfig:
        p_.settings.SaveConfig();
        break;
      case EffectKind::kSaveActiveProfile:
        p_.settings.SaveActiveProfile();
        break;
      case EffectKind::kWriteOsdText:
        if (!p_.desktop.WriteIniString(osdDataPath_, u"OSDData", u"Message", e.text)) {
          Trace(u"The key text could not be written for the on-screen display\n");
        }
        break;
      case EffectKind::kStartOnScreenKeyboard:
        if (!p_.window.StartOnScreenKeyboard()) Trace(u"osk.exe could not be started\n");
        break;
      case EffectKind::kShowDial:
        p_.window.ShowDialWindow();
        break;
      case EffectKind::kHideDial:
        p_.window.HideDialWindow();
        break;
      case EffectKind::kInvalidateDial:
        p_.window.InvalidateDialWindow();
        break;
      case EffectKind::kSendHostState:
        p_.protocol.SendHostState(true, e.wParam != 0);
        break;
      case EffectKind::kSendDialFunction:
        p_.protocol.SendDialFunction(p_.settings.config);
        break;
      case EffectKind::kPostWorkerRequest:
        if (p_.window.PostWorkerRequest(e.wParam, e.lParam)) {
          workerPosted = true;
        } else {
          Trace(u"The worker request could not be posted\n");
        }
        break;
      case EffectKind::kConnectionChange:
        p_.window.OnConnectionChange(static_cast<int>(e.wParam));
        break;
      case EffectKind::kTrace:
        Trace(e.text);
        break;
    }
  }
  NoteActiveSlot();
  return workerPosted;
}

void MainWindowCore::NoteActiveSlot() {
  p_.flags.activeSlot.store(p_.settings.config.header.activeSlot);
}

void MainWindowCore::PostTo(const std::u16string& title, const Effect& effect) {
  const WindowHandle window = p_.desktop.FindWindowByTitle(title);
  if (window != 0) p_.desktop.PostMessageTo(window, effect.message, effect.wParam, effect.lParam);
}

}  // namespace torvo
