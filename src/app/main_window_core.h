// The main window's reactions without the window: each entry point runs one
// decision (device_events.h, sibling_messages.h, foreground_switch.h) on the
// window's settings and dial state and carries out its effects through the
// ports. The Win32 window only unpacks its messages into these calls and
// supplies the few actions that need the window itself (MainWindowActions).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "app/dial_state.h"
#include "app/presence_tracker.h"
#include "app/shared_block.h"
#include "app/window_effects.h"
#include "common/desktop.h"
#include "common/text_comparison.h"
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
  // The window's timers (TIMER_*): a timer started again restarts.
  virtual void StartTimer(unsigned id, std::uint32_t periodMs) = 0;
  virtual void StopTimer(unsigned id) = 0;
  // The device library's feature device.
  virtual void OpenFeatureDevice() = 0;
  virtual void CloseFeatureDevice() = 0;
  // The notification-area icon and its menu.
  virtual void AddTrayIcon() = 0;
  virtual void RemoveTrayIcon() = 0;
  virtual void ShowTrayMenu() = 0;
  // Brings a window forward: another program's, or this program's own last
  // active one (BringOwnWindowForward).
  virtual void BringForward(WindowHandle window) = 0;
  virtual void BringOwnWindowForward() = 0;
};

struct MainWindowPorts {
  SettingsStore& settings;
  DialState& dial;
  Desktop& desktop;
  SharedBlockPort& sharedBlock;
  DeviceProtocol& protocol;
  DeviceFlags& flags;
  MainWindowActions& window;
  // How program names compare without regard to case (the system's way).
  const CaseInsensitiveText& text;
};

// Two waits of the blocking design are not slept: a copy of the shared
// block while another program holds the share mutex, and the pause after a
// device arrival. The core behaves as if it had waited, except that the
// window answers meanwhile.
//
// The share mutex. A copy that the mutex keeps from happening now is not
// dropped: it waits, with the rest of its decision's effects, at the head of
// a queue, and is tried again on each tick of the retry timer. Every later
// input whose decision reads or writes the settings or the dial state waits
// in the same queue and is decided only when its turn comes, on the settings
// as the copies before it left them. So copies happen in the order they were
// asked, nothing that depends on a copy (a notice, an upload request, the
// answer to an apply, a file save) happens before it, and at most one copy
// waits at any time. A device removal lets go of the device at once, but its
// notices to the configurator queue behind the inputs before it. What cannot
// change the result is collapsed: consecutive adopts, consecutive previews
// of the dial, and foreground checks (one waits at most, at the tail, and
// decides on the newest sample). An input whose decision or effects throw
// is dropped with a trace and the queue goes on.
//
// The arrival pause. During it the dial shows, hides and selects at once,
// and the settings change as usual; what would reach the device (its
// reports, the worker's requests, an apply's request) is held and carried
// out in order once the feature device is open after the pause, behind the
// full upload. A removal during the pause ends the arrival: the held reports
// are dropped, the held applies answered, and the configurator closed.
class MainWindowCore {
 public:
  explicit MainWindowCore(const MainWindowPorts& ports) : p_(ports) {}

  // The on-screen display's hand-off file (set at start).
  void SetOsdDataPath(std::u16string path) { osdDataPath_ = std::move(path); }
  // The program folder (ends with a backslash), where the configurator is
  // started from.
  void SetProgramFolder(std::u16string folder) { programFolder_ = std::move(folder); }

  // A device event code (class in the high 16 bits); class 0x7F00 is a
  // connection change.
  void HandleDeviceEvent(std::uint32_t code);
  // A device arrival (PresenceTracker::kArrived) or removal (kRemoved);
  // anything else does nothing.
  void ConnectionChanged(int value);
  void ToggleDial();
  void HideDial();
  void CommitDialFunction(int function);
  void ApplyAllSetting(std::uintptr_t wParam);
  void AdoptChangedSettings();
  void FollowForegroundApplication(const std::optional<std::u16string>& foregroundExecutable);
  void SwitchActiveSlot(int slot);
  // The first publication of the block at start.
  void PublishConfig();
  // Whether the creation handler opened the feature device; see
  // PresenceTracker::OpenedAtStart.
  void DeviceOpenedAtStart(bool opened, bool configuratorRequested);
  // A timer of the window fired: the first upload, the end of the arrival
  // pause, the share mutex's retry, the retry of the settings files' saves
  // that wait (the foreground check samples the foreground first:
  // FollowForegroundApplication).
  void TimerElapsed(unsigned id);
  // The tray icon's notification (lParam: the mouse message over the icon).
  void TrayNotify(std::intptr_t mouseMessage);
  // The tray menu's item and the command line's request.
  void OpenConfigurator();
  // At exit: the configurator and the on-screen display are told to close.
  void CloseSiblingWindows();
  bool ArrivalPending() const { return presence_.ArrivalPending(); }
  // Effects held for the end of the arrival pause.
  std::size_t HeldForArrival() const { return heldForArrival_.size(); }

  // True while a copy waits for the share mutex (and inputs behind it).
  bool CopyPending() const { return !pending_.empty(); }
  // Number of inputs waiting, the one whose copy waits included.
  std::size_t PendingCount() const { return pending_.size(); }
  // The retry timer's tick: tries the waiting copy again and, once it went
  // through, carries out and decides everything queued behind it.
  void RetryPendingCopy();
  // At exit: one last attempt. What still waits after it is decided and
  // saved to the files without the shared block; its copies, notices and
  // device requests are dropped with a trace (the other programs, closed
  // next, would read a block that was not written). What was held for the
  // end of an arrival pause is dropped with a trace, and no apply is
  // answered without its upload.
  void FinishPendingAtExit();

 private:
  enum class InputKind { kOther, kSettingsChanged, kForeground, kPreview };
  // An input, decided when its turn comes, and the effects of that decision
  // from `next` on still to be carried out.
  struct PendingInput {
    InputKind kind = InputKind::kOther;
    std::function<Effects()> decide;
    bool decided = false;
    Effects effects;
    std::size_t next = 0;
  };

  // Queues an input and, unless something waits before it, runs it now.
  void Submit(InputKind kind, std::function<Effects()> decide);
  void RunPending();
  // Carries out the queue from its head; false when a copy is busy.
  bool Drain();
  // Carries out `input`'s effects from `next`; false when a copy is busy.
  bool Carry(PendingInput& input);
  ShareCopy Copy(ShareCopyDirection direction);
  // One effect that involves no copy. An effect may add effects after it to
  // `following` (an apply whose request was refused is answered at once).
  void Perform(const Effect& effect, Effects& following);
  // Effects that involve no copy and wait for nothing, carried out now.
  void CarryOutAtOnce(Effects effects);
  // Hands the worker the active slot of `config` (DeviceFlags::activeSlot):
  // after each decision and each adopt, so every request and report that
  // names the slot names the one in force.
  void NoteActiveSlot();
  // Runs TIMER_SAVE_RETRY while a save of a settings file waits, and only
  // then.
  void FollowPendingSaves();

  MainWindowPorts p_;
  std::u16string osdDataPath_;
  std::u16string programFolder_;
  PresenceTracker presence_{p_.flags};
  std::deque<PendingInput> pending_;
  Effects heldForArrival_;
  std::optional<std::u16string> foregroundSample_;  // the newest foreground sample
  bool draining_ = false;
  bool timerRunning_ = false;
  bool timedOut_ = false;  // the waiting copy timed out (traced once)
  bool exiting_ = false;   // FinishPendingAtExit: copies and notices are skipped

  // TIMER_SAVE_RETRY runs (a save of a settings file waits).
  bool saveTimerRunning_ = false;
};

}  // namespace torvo
