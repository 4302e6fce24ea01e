#include "app/main_window_core.h"

#include <utility>

#include "app/device_events.h"
#include "app/foreground_switch.h"
#include "app/sibling_messages.h"
#include "app/tray.h"
#include "common/trace.h"

namespace torvo {

void MainWindowCore::HandleDeviceEvent(std::uint32_t code) {
  if ((code >> 16) == kEventConnection) {
    // Arrival and removal read no settings and must not wait for the
    // shared block: a removed device is let go at once.
    CarryOutAtOnce(torvo::DecideDeviceEvent(code, p_.settings.config, p_.dial, false));
    return;
  }
  Submit(InputKind::kOther, [this, code] {
    // Only the on-screen keyboard request depends on the configurator's window.
    const bool configuratorOpen =
        (code >> 16) == kEventOnScreenKeyboard && WindowOpen(p_.desktop, kConfiguratorTitle);
    return torvo::DecideDeviceEvent(code, p_.settings.config, p_.dial, configuratorOpen);
  });
}

void MainWindowCore::ToggleDial() {
  Submit(InputKind::kOther,
         [this] { return torvo::DecideToggleDial(p_.settings.config, p_.dial); });
}

void MainWindowCore::HideDial() {
  Submit(InputKind::kOther, [this] { return torvo::DecideHideDialCommand(p_.dial); });
}

void MainWindowCore::CommitDialFunction(int function) {
  Submit(InputKind::kOther, [this, function] {
    return torvo::DecideCommitDialFunction(function, p_.settings.config, p_.dial);
  });
}

void MainWindowCore::ApplyAllSetting(std::uintptr_t wParam) {
  Submit(
      InputKind::kOther,
      [this, wParam] {
        return torvo::DecideApplyAllSetting(wParam, p_.flags.devicePresence.load());
      },
      [this](bool workerPosted) -> Effects {
        if (workerPosted) return {};
        // No upload was requested: the configurator waits for an answer all the same.
        return AnswerApplyAtOnce(WindowOpen(p_.desktop, kConfiguratorTitle));
      });
}

void MainWindowCore::AdoptChangedSettings() {
  Submit(InputKind::kSettingsChanged, [] { return torvo::DecideSettingsChanged(); });
}

void MainWindowCore::FollowForegroundApplication(
    const std::optional<std::u16string>& foregroundExecutable) {
  Submit(InputKind::kForeground, [this, foregroundExecutable] {
    return torvo::DecideFollowForeground(foregroundExecutable, p_.settings.config, p_.text);
  });
}

void MainWindowCore::SwitchActiveSlot(int slot) {
  Submit(InputKind::kOther,
         [this, slot] { return torvo::DecideSwitchActiveSlot(slot, p_.settings.config); });
}

void MainWindowCore::PublishConfig() {
  Submit(InputKind::kOther, [] { return Effects{effect::Simple(EffectKind::kPublishConfig)}; });
}

void MainWindowCore::DeviceOpenedAtStart(bool opened, bool configuratorRequested) {
  CarryOutAtOnce(presence_.OpenedAtStart(opened, configuratorRequested));
}

void MainWindowCore::TimerElapsed(unsigned id) {
  switch (id) {
    case TIMER_INITIAL_UPLOAD:
      CarryOutAtOnce(
          {effect::StopTimer(TIMER_INITIAL_UPLOAD), effect::PostWorkerRequest(REQ_FULL_UPLOAD, 0)});
      break;
    case TIMER_ARRIVAL_PAUSE: {
      Effects effects = {effect::StopTimer(TIMER_ARRIVAL_PAUSE)};
      for (const Effect& e : presence_.OnArrivalPauseElapsed()) effects.push_back(e);
      CarryOutAtOnce(effects);
      break;
    }
    case TIMER_SHARE_RETRY:
      RetryPendingCopy();
      break;
    case TIMER_SAVE_RETRY:
      p_.settings.RetryPendingSaves();
      FollowPendingSaves();
      break;
    default:
      break;
  }
}

void MainWindowCore::TrayNotify(std::intptr_t mouseMessage) {
  CarryOutAtOnce(DecideTrayNotify(mouseMessage));
}

void MainWindowCore::OpenConfigurator() {
  CarryOutAtOnce({effect::Simple(EffectKind::kOpenConfigurator)});
}

void MainWindowCore::CloseSiblingWindows() {
  // Closing the other windows is not an announcement of the block: it
  // happens at exit even when copies were skipped.
  const bool exiting = std::exchange(exiting_, false);
  CarryOutAtOnce(SiblingCloseEffects());
  exiting_ = exiting;
}

void MainWindowCore::RetryPendingCopy() {
  if (!draining_) RunPending();
}

void MainWindowCore::FinishPendingAtExit() {
  if (pending_.empty() || draining_) return;
  RunPending();
  if (pending_.empty()) return;
  Trace(u"The share mutex is still held at exit; what waited for it is saved to the files only\n");
  exiting_ = true;
  RunPending();
}

void MainWindowCore::Submit(InputKind kind, std::function<Effects()> decide,
                            std::function<Effects(bool)> then) {
  if (!pending_.empty()) {
    const PendingInput& last = pending_.back();
    // Two adopts in a row read the same block: the second adds nothing.
    if (kind == InputKind::kSettingsChanged && last.kind == kind && !last.decided) return;
    // A foreground check already waiting decides on its own sample; a later
    // one adds nothing the next check after the queue has emptied would not.
    if (kind == InputKind::kForeground) {
      for (const PendingInput& input : pending_) {
        if (input.kind == kind && !input.decided) return;
      }
    }
  }
  PendingInput input;
  input.kind = kind;
  input.decide = std::move(decide);
  input.then = std::move(then);
  pending_.push_back(std::move(input));
  // Behind a copy that waits, or queued by an effect being carried out: its
  // turn comes from the loop already running or from the retry timer.
  if (draining_ || pending_.size() > 1) return;
  RunPending();
}

void MainWindowCore::RunPending() {
  draining_ = true;
  const bool emptied = Drain();
  draining_ = false;
  if (emptied && timedOut_ && !exiting_) {
    timedOut_ = false;
    Trace(u"The share mutex is free again; what waited for it is carried out\n");
  }
  FollowPendingSaves();
  if (timerRunning_ != !pending_.empty()) {
    timerRunning_ = !pending_.empty();
    if (timerRunning_) {
      p_.window.StartTimer(TIMER_SHARE_RETRY, kShareRetryPeriodMs);
    } else {
      p_.window.StopTimer(TIMER_SHARE_RETRY);
    }
  }
}

bool MainWindowCore::Drain() {
  while (!pending_.empty()) {
    // A reference stays valid while effects queue further inputs at the back.
    PendingInput& input = pending_.front();
    if (!input.decided) {
      input.effects = input.decide();
      input.decided = true;
    }
    if (!Carry(input)) return false;
    if (input.then) {
      const auto then = std::move(input.then);
      input.then = nullptr;
      input.effects = then(input.workerPosted);
      input.next = 0;
      continue;
    }
    pending_.pop_front();
  }
  return true;
}

bool MainWindowCore::Carry(PendingInput& input) {
  for (; input.next < input.effects.size(); ++input.next) {
    const Effect& e = input.effects[input.next];
    // The decision may have switched the slot, and an adopted block may name
    // another one: the worker reports the slot in force.
    NoteActiveSlot();
    switch (e.kind) {
      case EffectKind::kPublishConfig:
        if (Copy(ShareCopyDirection::kPublish) == ShareCopy::kBusy) return false;
        break;
      case EffectKind::kAdoptSharedConfig: {
        const ShareCopy copied = Copy(ShareCopyDirection::kAdopt);
        if (copied == ShareCopy::kBusy) return false;
        // The block was written by other programs: bounded before any use.
        if (copied == ShareCopy::kCopied) {
          BoundAdoptedBlock(p_.settings.config);
          p_.settings.SettingsHandedOver();
        }
        break;
      }
      case EffectKind::kSaveActiveProfile:
        // Publish, then the files, then the notice: the notice announces
        // the block, so it waits for the publish.
        if (!input.profilePublished) {
          const ShareCopy published = Copy(ShareCopyDirection::kPublish);
          if (published == ShareCopy::kBusy) return false;
          if (published != ShareCopy::kCopied && !exiting_) {
            Trace(u"the settings block was not published\n");
          }
          input.profilePublished = true;
        }
        p_.settings.SaveActiveProfileFiles();
        if (!exiting_) p_.settings.AnnounceSavedProfile();
        input.profilePublished = false;
        break;
      default:
        PerformOther(e, input.workerPosted);
        break;
    }
  }
  NoteActiveSlot();
  return true;
}

ShareCopy MainWindowCore::Copy(ShareCopyDirection direction) {
  if (exiting_) return ShareCopy::kSkipped;
  const ShareCopy result = direction == ShareCopyDirection::kPublish
                               ? p_.sharedBlock.TryPublish(p_.settings.config)
                               : p_.sharedBlock.TryAdopt(p_.settings.config);
  if (result == ShareCopy::kBusy && !timedOut_) {
    timedOut_ = true;
    Trace(u"Share mutex wait timed out; the copy and what depends on it wait and are retried\n");
  }
  return result;
}

void MainWindowCore::PerformOther(const Effect& e, bool& workerPosted) {
  // At exit only what keeps the settings on disk is carried out.
  if (exiting_ && e.kind != EffectKind::kSaveConfig && e.kind != EffectKind::kTrace) return;
  switch (e.kind) {
    case EffectKind::kPublishConfig:
    case EffectKind::kAdoptSharedConfig:
    case EffectKind::kSaveActiveProfile:
      // Copies are carried out by Carry only.
      break;
    case EffectKind::kPostToConfigurator:
      PostToWindow(p_.desktop, kConfiguratorTitle, e.message, e.wParam, e.lParam);
      break;
    case EffectKind::kPostToOsd:
      PostToWindow(p_.desktop, kOsdTitle, e.message, e.wParam, e.lParam);
      break;
    case EffectKind::kSaveConfig:
      p_.settings.SaveConfig();
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
    case EffectKind::kSendDialFunction:
      // A device that was removed (or never opened) is closed: a report to
      // it would go to a handle the library no longer holds. The dial still
      // changes; the device learns the function at its next upload.
      if (!DevicePresent(p_.flags)) {
        Trace(u"The device is not present; the dial's report is not sent\n");
      } else if (e.kind == EffectKind::kSendHostState) {
        p_.protocol.SendHostState(true, e.wParam != 0);
      } else {
        p_.protocol.SendDialFunction(p_.settings.config);
      }
      break;
    case EffectKind::kPostWorkerRequest:
      if (p_.window.PostWorkerRequest(e.wParam, e.lParam)) {
        workerPosted = true;
      } else {
        Trace(u"The worker request could not be posted\n");
      }
      break;
    case EffectKind::kConnectionChange:
      for (const Effect& change : presence_.OnConnectionChange(static_cast<int>(e.wParam))) {
        PerformOther(change, workerPosted);
      }
      break;
    case EffectKind::kStartTimer:
      p_.window.StartTimer(static_cast<unsigned>(e.wParam), static_cast<std::uint32_t>(e.lParam));
      break;
    case EffectKind::kStopTimer:
      p_.window.StopTimer(static_cast<unsigned>(e.wParam));
      break;
    case EffectKind::kOpenFeatureDevice:
      p_.window.OpenFeatureDevice();
      presence_.OnFeatureDeviceOpened();
      break;
    case EffectKind::kCloseFeatureDevice:
      p_.window.CloseFeatureDevice();
      break;
    case EffectKind::kAddTrayIcon:
      p_.window.AddTrayIcon();
      break;
    case EffectKind::kRemoveTrayIcon:
      p_.window.RemoveTrayIcon();
      break;
    case EffectKind::kOpenConfigurator:
      OpenOrRaiseConfigurator(
          p_.desktop, [this](WindowHandle window) { p_.window.BringForward(window); },
          programFolder_);
      break;
    case EffectKind::kBringOwnWindowForward:
      p_.window.BringOwnWindowForward();
      break;
    case EffectKind::kShowTrayMenu:
      p_.window.ShowTrayMenu();
      break;
    case EffectKind::kTrace:
      Trace(e.text);
      break;
  }
}

void MainWindowCore::FollowPendingSaves() {
  const bool pending = p_.settings.SavesPending();
  if (saveTimerRunning_ == pending) return;
  saveTimerRunning_ = pending;
  if (pending) {
    p_.window.StartTimer(TIMER_SAVE_RETRY, kSaveRetryPeriodMs);
  } else {
    p_.window.StopTimer(TIMER_SAVE_RETRY);
  }
}

void MainWindowCore::CarryOutAtOnce(const Effects& effects) {
  bool workerPosted = false;
  for (const Effect& e : effects) PerformOther(e, workerPosted);
}

void MainWindowCore::NoteActiveSlot() {
  p_.flags.activeSlot.store(p_.settings.config.header.activeSlot);
}

}  // namespace torvo
