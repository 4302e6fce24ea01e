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

// A copy that the share mutex keeps from happening now (another program
// holds it) is not dropped: it waits, with the rest of its decision's
// effects, at the head of a queue, and is tried again on each tick of the
// retry timer while the window goes on answering. Every later input whose
// decision reads or writes the settings or the dial state (device events
// other than connection changes, the dial's toggle, hide and clicks, the
// configurator's messages, foreground checks) waits in the same queue and is
// decided only when its turn comes, on the settings as the copies before it
// left them. So copies happen in the order they were asked, none overtakes
// an earlier one in either direction, nothing that depends on a copy (a
// notice, an upload request, the answer to an apply, a file save) happens
// before it, and at most one copy waits at any time.
class MainWindowCore {
 public:
  explicit MainWindowCore(const MainWindowPorts& ports) : p_(ports) {}

  // The on-screen display's hand-off file (set at start).
  void SetOsdDataPath(std::u16string path) { osdDataPath_ = std::move(path); }
  // The program folder (ends with a backslash), where the configurator is
  // started from.
  void SetProgramFolder(std::u16string folder) { programFolder_ = std::move(folder); }

  void HandleDeviceEvent(std::uint32_t code);
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

  // True while a copy waits for the share mutex (and inputs behind it).
  bool CopyPending() const { return !pending_.empty(); }
  // Number of inputs waiting, the one whose copy waits included.
  std::size_t PendingCount() const { return pending_.size(); }
  // The retry timer's tick: tries the waiting copy again and, once it went
  // through, carries out and decides everything queued behind it.
  void RetryPendingCopy();
  // At exit: one last attempt. What still waits after it is decided and
  // saved to the files without the shared block; the other programs (closed
  // next) and the device are not told, since the block they would read was
  // not written.
  void FinishPendingAtExit();

  // Hands the worker the active slot of `config` (DeviceFlags::activeSlot).
  // Called after every change of it: the core does around every effect it
  // carries out; the
  // window does after loading the settings and before posting a request of
  // its own.
  void NoteActiveSlot();

 private:
  // What waits in the queue: an input, decided when its turn comes, the
  // effects of that decision still to be carried out, and what follows them
  // once they are (the answer to an apply depends on the worker request).
  enum class InputKind { kOther, kSettingsChanged, kForeground };
  struct PendingInput {
    InputKind kind = InputKind::kOther;
    std::function<Effects()> decide;
    std::function<Effects(bool workerPosted)> then;
    bool decided = false;
    Effects effects;
    std::size_t next = 0;
    bool profilePublished = false;  // the publish of a kSaveActiveProfile at `next` is done
    bool workerPosted = false;
  };

  // Queues an input and, unless something waits before it, runs it now.
  void Submit(InputKind kind, std::function<Effects()> decide,
              std::function<Effects(bool)> then = {});
  void RunPending();
  // Carries out the queue from its head; false when a copy is busy.
  bool Drain();
  // Carries out `input`'s effects from `next`; false when a copy is busy.
  bool Carry(PendingInput& input);
  ShareCopy Copy(ShareCopyDirection direction);
  // Effects that involve no copy.
  void PerformOther(const Effect& effect, bool& workerPosted);
  // Effects that involve no copy and wait for nothing, carried out now.
  void CarryOutAtOnce(const Effects& effects);
  // Runs TIMER_SAVE_RETRY while a save of a settings file waits, and only
  // then.
  void FollowPendingSaves();

  MainWindowPorts p_;
  std::u16string osdDataPath_;
  std::u16string programFolder_;
  PresenceTracker presence_{p_.flags};
  std::deque<PendingInput> pending_;
  bool draining_ = false;
  bool timerRunning_ = false;
  bool timedOut_ = false;  // the waiting copy timed out (traced once)
  bool exiting_ = false;   // FinishPendingAtExit: copies and notices are skipped

  // TIMER_SAVE_RETRY runs (a save of a settings file waits).
  bool saveTimerRunning_ = false;
};

}  // namespace torvo
