#include "app/main_window_core.h"

#include <iterator>
#include <utility>

#include "app/device_events.h"
#include "app/foreground_switch.h"
#include "app/sibling_messages.h"
#include "app/tray.h"
#include "common/exception_barrier.h"
#include "common/trace.h"

namespace torvo {

void MainWindowCore::HandleDeviceEvent(std::uint32_t code) {
  const std::uint32_t eventClass = code >> 16;
  if (eventClass == kEventConnection) {
    ConnectionChanged(static_cast<int>(code & 0xFFFFu));
    return;
  }
  const auto decide = [this, code] {
    // Only the on-screen keyboard request depends on the configurator's window.
    const bool configuratorOpen =
        (code >> 16) == kEventOnScreenKeyboard && WindowOpen(p_.desktop, kConfiguratorTitle);
    return torvo::DecideDeviceEvent(code, p_.settings.config, p_.dial, configuratorOpen);
  };
  if (eventClass == kEventPreview) {
    // A preview waiting right behind another replaces it: the dial ends up
    // pointing where the last one points either way.
    if (pending_.size() > 1 && pending_.back().kind == InputKind::kPreview &&
        !pending_.back().decided) {
      pending_.back().decide = decide;
      return;
    }
    Submit(InputKind::kPreview, decide);
    return;
  }
  Submit(InputKind::kOther, decide);
}

void MainWindowCore::ConnectionChanged(int value) {
  if (value != PresenceTracker::kArrived && value != PresenceTracker::kRemoved) return;
  const bool wasArriving = presence_.ArrivalPending();
  Effects now;
  Effects notices;
  for (Effect& e : presence_.OnConnectionChange(value)) {
    // The device is let go at once; the configurator hears of the removal
    // after every notice of the inputs before it.
    (e.kind == EffectKind::kPostToConfigurator ? notices : now).push_back(std::move(e));
  }
  if (wasArriving && !presence_.ArrivalPending() && !heldForArrival_.empty()) {
    // The arrival was cancelled: nothing held for the device is sent, and an
    // apply held for it is answered as for an absent device, before the
    // configurator is told to close.
    Effects answers;
    for (const Effect& held : heldForArrival_) {
      if (held.kind == EffectKind::kPostApplyRequest) {
        answers.push_back(effect::Simple(EffectKind::kAnswerApply));
      }
    }
    heldForArrival_.clear();
    now.push_back(effect::TraceText(
        u"The device left during the arrival pause; what was held for it is not sent\n"));
    notices.insert(notices.begin(), answers.begin(), answers.end());
  }
  CarryOutAtOnce(std::move(now));
  if (!notices.empty()) Submit(InputKind::kOther, [notices] { return notices; });
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
  // The copy first; whether the apply uploads is decided once it happened,
  // on the device's presence then.
  Submit(InputKind::kOther, [] { return torvo::DecideApplyAllSetting(); });
  Submit(InputKind::kOther, [this, wParam] {
    const bool deviceExpected = DevicePresent(p_.flags) || presence_.ArrivalPending();
    return torvo::DecideApplyRequest(wParam, deviceExpected);
  });
}

void MainWindowCore::AdoptChangedSettings() {
  Submit(InputKind::kSettingsChanged, [] { return torvo::DecideSettingsChanged(); });
}

void MainWindowCore::FollowForegroundApplication(
    const std::optional<std::u16string>& foregroundExecutable) {
  foregroundSample_ = foregroundExecutable;
  // One check waits at most, and at the tail: the timer's check comes after
  // every input already waiting, and decides on the newest sample.
  for (auto it = pending_.begin(); it != pending_.end(); ++it) {
    if (it != pending_.begin() && it->kind == InputKind::kForeground && !it->decided) {
      pending_.erase(it);
      break;
    }
  }
  Submit(InputKind::kForeground, [this] {
    // The foreground is followed only while the device is present: its
    // timer stops with a removal, and a check that waited does not outlive it.
    if (!DevicePresent(p_.flags)) return Effects{};
    return torvo::DecideFollowForeground(foregroundSample_, p_.settings.config, p_.text);
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
      // The upload carries the settings as every copy asked before it left them.
      CarryOutAtOnce({effect::StopTimer(TIMER_INITIAL_UPLOAD)});
      Submit(InputKind::kOther,
             [] { return Effects{effect::PostWorkerRequest(REQ_FULL_UPLOAD, 0)}; });
      break;
    case TIMER_ARRIVAL_PAUSE: {
      CarryOutAtOnce({effect::StopTimer(TIMER_ARRIVAL_PAUSE)});
      const unsigned arrival = presence_.ArrivalNumber();
      Submit(InputKind::kOther, [this, arrival] {
        Effects effects = presence_.OnArrivalPauseElapsed(arrival);
        if (effects.empty()) return effects;
        // What was held for the device follows the full upload, in order.
        effects.insert(effects.end(), std::make_move_iterator(heldForArrival_.begin()),
                       std::make_move_iterator(heldForArrival_.end()));
        heldForArrival_.clear();
        return effects;
      });
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
  if (!draining_ && !pending_.empty()) RunPending();
}

void MainWindowCore::FinishPendingAtExit() {
  if (!heldForArrival_.empty()) {
    Trace(
        u"At exit the device has not been opened after its arrival; what was held for it is "
        u"dropped\n");
    heldForArrival_.clear();
  }
  if (pending_.empty() || draining_) return;
  RunPending();
  if (pending_.empty()) return;
  Trace(u"The share mutex is still held at exit; what waited for it is saved to the files only\n");
  exiting_ = true;
  RunPending();
}

void MainWindowCore::Submit(InputKind kind, std::function<Effects()> decide) {
  // Two adopts in a row read the same block: the second adds nothing.
  if (kind == InputKind::kSettingsChanged && pending_.size() > 1 && pending_.back().kind == kind &&
      !pending_.back().decided) {
    return;
  }
  PendingInput input;
  input.kind = kind;
  input.decide = std::move(decide);
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
    const bool carried = GuardedCall(
        u"An exception ended an input of the main window; it is dropped and the inputs after it "
        u"go on\n",
        true, [&] {
          if (!input.decided) {
            input.effects = input.decide();
            input.decided = true;
            NoteActiveSlot();
          }
          if (exiting_) {
            Trace(
                u"At exit an input keeps only its files: its copies, notices and device "
                u"requests are dropped\n");
          }
          return Carry(input);
        });
    if (!carried) return false;
    pending_.pop_front();
  }
  return true;
}

bool MainWindowCore::Carry(PendingInput& input) {
  while (input.next < input.effects.size()) {
    // A copy: effects may add effects behind this one.
    const Effect e = input.effects[input.next];
    switch (e.kind) {
      case EffectKind::kPublishConfig: {
        const ShareCopy published = Copy(ShareCopyDirection::kPublish);
        if (published == ShareCopy::kBusy) return false;
        if (published != ShareCopy::kCopied && !exiting_) {
          Trace(u"the settings block was not published\n");
        }
        break;
      }
      case EffectKind::kAdoptSharedConfig: {
        const ShareCopy copied = Copy(ShareCopyDirection::kAdopt);
        if (copied == ShareCopy::kBusy) return false;
        if (copied == ShareCopy::kCopied) {
          // The block was written by other programs: bounded before any use.
          BoundAdoptedBlock(p_.settings.config);
          p_.settings.SettingsHandedOver();
          NoteActiveSlot();
        }
        break;
      }
      default:
        Perform(e, input.effects);
        break;
    }
    ++input.next;
  }
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

void MainWindowCore::Perform(const Effect& e, Effects& following) {
  // At exit only what keeps the settings on disk is carried out.
  if (exiting_ && e.kind != EffectKind::kSaveConfig && e.kind != EffectKind::kSaveProfileFiles &&
      e.kind != EffectKind::kTrace) {
    return;
  }
  // During the arrival pause what would reach the device waits for the open.
  if (ReachesDevice(e.kind) && presence_.ArrivalPending()) {
    heldForArrival_.push_back(e);
    return;
  }
  switch (e.kind) {
    case EffectKind::kPublishConfig:
    case EffectKind::kAdoptSharedConfig:
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
    case EffectKind::kSaveProfileFiles:
      p_.settings.SaveActiveProfileFiles();
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
      // changes.
      if (!DevicePresent(p_.flags)) {
        Trace(u"The device is not present; the dial's report is not sent\n");
      } else if (e.kind == EffectKind::kSendHostState) {
        p_.protocol.SendHostState(true, e.wParam != 0);
      } else {
        p_.protocol.SendDialFunction(static_cast<int>(e.wParam),
                                     static_cast<std::uint8_t>(e.lParam));
      }
      break;
    case EffectKind::kPostWorkerRequest:
      if (!p_.window.PostWorkerRequest(e.wParam, e.lParam)) {
        Trace(u"The worker request could not be posted\n");
      }
      break;
    case EffectKind::kPostApplyRequest:
      if (!p_.window.PostWorkerRequest(e.wParam, e.lParam)) {
        Trace(u"The worker request could not be posted\n");
        // No upload was requested: the configurator waits for an answer all the same.
        following.push_back(effect::Simple(EffectKind::kAnswerApply));
      }
      break;
    case EffectKind::kAnswerApply:
      for (const Effect& answer : AnswerApplyAtOnce(WindowOpen(p_.desktop, kConfiguratorTitle))) {
        Perform(answer, following);
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

void MainWindowCore::CarryOutAtOnce(Effects effects) {
  for (std::size_t i = 0; i < effects.size(); ++i) {
    const Effect e = effects[i];
    Perform(e, effects);
  }
}

void MainWindowCore::NoteActiveSlot() {
  p_.flags.activeSlot.store(p_.settings.config.header.activeSlot);
}

}  // namespace torvo
