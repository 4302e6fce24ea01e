// The main window: a hidden dialog (resource 102) that is the hub of the
// process. Its creation handler brings every subsystem up in a fixed order,
// its destruction handler takes them down again, and between the two it
// reacts to messages.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "app/dial_state.h"
#include "app/main_window_core.h"
#include "app/shared_block.h"
#include "app/win32/foreground_win32.h"
#include "app/win32/tray_win32.h"
#include "common/clock.h"
#include "common/win32/desktop_win32.h"
#include "common/win32/dialog_framework_win32.h"
#include "device/device_protocol.h"
#include "device/win32/ansi_converter_win32.h"
#include "device/win32/device_link_win32.h"
#include "device/win32/worker_thread_win32.h"
#include "dial/win32/dial_view_win32.h"
#include "settings/settings_store.h"
#include "settings/win32/file_system_win32.h"

namespace torvo::win32 {

class CTorvoDlg : public CDialogWindow {
 public:
  // `configuratorRequested`: the command line asked to bring the
  // configurator forward (done once the device opened at start).
  CTorvoDlg(HINSTANCE instance, bool configuratorRequested);
  ~CTorvoDlg() override;

  // The dial button (0..7) whose window is `handle`, or -1.
  int ButtonIndexForHandle(HWND handle) const;

 protected:
  int OnCreate(CREATESTRUCTW* createStruct) override;
  void OnDestroy() override;
  BOOL OnInitDialog() override;
  void OnTimer(UINT_PTR id) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  // Sees every WM_COMMAND first: a click on a dial button commits its
  // function, then the message map runs.
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

 private:
  // Message map handlers.
  LRESULT OnPaint(WPARAM wParam, LPARAM lParam);
  LRESULT OnNcPaint(WPARAM wParam, LPARAM lParam);
  LRESULT OnWindowPosChanging(WPARAM wParam, LPARAM lParam);
  LRESULT OnEraseBkgnd(WPARAM wParam, LPARAM lParam);
  LRESULT OnLButtonDown(WPARAM wParam, LPARAM lParam);
  LRESULT OnToggleDial(WPARAM wParam, LPARAM lParam);
  LRESULT OnHideDial(WPARAM wParam, LPARAM lParam);
  LRESULT OnApplyAllSetting(WPARAM wParam, LPARAM lParam);
  LRESULT OnSettingsChanged(WPARAM wParam, LPARAM lParam);
  LRESULT OnCustomizer(WPARAM wParam, LPARAM lParam);
  LRESULT OnDeviceEvent(WPARAM wParam, LPARAM lParam);
  LRESULT OnDeviceConnection(WPARAM wParam, LPARAM lParam);
  LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
  LRESULT OnRButtonDown(WPARAM wParam, LPARAM lParam);

  LRESULT OnExitCommand(WPARAM wParam, LPARAM lParam);

  // Copies between `config` and the shared block (under the share mutex).
  class SharedBlockPublisher final : public SharedBlockPort {
   public:
    explicit SharedBlockPublisher(CTorvoDlg& owner) : owner_(owner) {}
    ShareCopy TryPublish(const ConfigBlock& block) override;
    ShareCopy TryAdopt(ConfigBlock& config) override;

   private:
    CTorvoDlg& owner_;
  };

  // What the core's decisions need the window itself for.
  class WindowActions final : public MainWindowActions {
   public:
    explicit WindowActions(CTorvoDlg& owner) : owner_(owner) {}
    void ShowDialWindow() override;
    void HideDialWindow() override;
    void InvalidateDialWindow() override;
    bool StartOnScreenKeyboard() override;
    bool PostWorkerRequest(std::uintptr_t request, std::intptr_t parameter) override;
    void StartTimer(unsigned id, std::uint32_t periodMs) override;
    void StopTimer(unsigned id) override;
    void OpenFeatureDevice() override;
    void CloseFeatureDevice() override;
    void AddTrayIcon() override;
    void RemoveTrayIcon() override;
    void ShowTrayMenu() override;
    void BringForward(WindowHandle window) override;
    void BringOwnWindowForward() override;

   private:
    CTorvoDlg& owner_;
  };

  // Creation steps that belong to other subsystems.
  std::optional<std::u16string> DefaultProfileName() const;
  int OpenDevice();
  void LaunchOsd();

  // Destruction steps.
  // Sends host-state (0, 0) with its poll, waiting at most `waitMs`; false
  // when the call was still inside the library then.
  bool SendClosingHostState(DWORD waitMs);
  UploadWorkerThread::StopResult StopWorker(DWORD waitMs);
  // Closes the device library's monitor and device and unloads it, when no
  // call is left inside it by the shutdown's deadlines (`elapsedMs`: since
  // the destruction began).
  void CloseDeviceLibrary(std::uint64_t elapsedMs);

  bool configuratorRequested_ = false;
  HICON appIcon_ = nullptr;
  std::u16string osdDataPath_;
  Win32Desktop desktop_;
  Win32FileSystem fileSystem_;
  Win32UserFolders userFolders_;
  SettingsEnvironment settingsEnv_{fileSystem_, userFolders_};
  SharedBlockPublisher publisher_{*this};
  // The working settings (`config`), the profile library and the record
  // bound to the active slot.
  SettingsStore settings_;
  ConfigBlock& config_ = settings_.config;
  // The device link: the reports this thread sends, the upload worker and
  // the device presence.
  SystemClock clock_;
  Win32AnsiConverter ansiConverter_;
  DeviceProtocol protocol_;
  UploadWorkerThread workerThread_;
  HANDLE sharedMapping_ = nullptr;
  ConfigBlock* sharedConfig_ = nullptr;
  HANDLE shareMutex_ = nullptr;
  CTrayIcon trayIcon_;
  // The dial's skin images, its eight sector buttons and its composition.
  CDialView dialView_;
  // What the dial shows; drawn by the dial's painting.
  DialState dialState_;
  WindowActions actions_{*this};
  Win32CaseInsensitiveText programNames_;
  // The decisions on events, the configurator's messages and the foreground
  // application, carried out through the ports above.
  MainWindowCore core_{{settings_, dialState_, desktop_, publisher_, protocol_,
                        DeviceLink().deviceFlags, actions_, programNames_}};
  // Set when the creation handler ran to its end: only then has this process
  // taken the device, so only then does it tell the device it leaves.
  bool creationCompleted_ = false;
  bool comInitialized_ = false;
};

// The non-client paint requests still to be turned into hiding the window.
extern int hiddenNcPaints;

}  // namespace torvo::win32
