#include "common/messages.h"
#include "app/win32/torvo_dlg_win32.h"

#include <objbase.h>

#include "app/device_events.h"
#include "app/shutdown_budget.h"
#include "app/startup.h"
#include "app/win32/foreground_win32.h"
#include "common/win32/language_win32.h"
#include "common/win32/shell_values_win32.h"
#include "common/win32/text_win32.h"
#include "common/win32/window_win32.h"
#include "device/win32/device_link_win32.h"
#include "app/win32/resource.h"
#include "app/win32/shared_block_win32.h"
#include "app/win32/tray_win32.h"
#include "device/win32/worker_thread_win32.h"
#include "common/desktop.h"
#include "common/trace.h"
#include "device/device_state.h"
#include "menu/win32/dial_menu_win32.h"
#include "settings/settings_folder.h"
#include "settings/settings_model.h"

namespace torvo::win32 {

int hiddenNcPaints = 2;

static_assert(kBoundedCallGraceMs == kAbortGraceMs, "the shutdown budget counts the call's grace");

namespace {

constexpr wchar_t kShareMutexName[] = L"Zenqo_K27_Vistrane_Share_Mutex";
constexpr DWORD kWorkerStackSize = 4096;

}  // namespace

CTorvoDlg::CTorvoDlg(HINSTANCE instance, bool configuratorRequested)
    : CDialogWindow(instance, IDD_TORVO_DIALOG),
      configuratorRequested_(configuratorRequested),
      settings_(settingsEnv_, publisher_, desktop_, [this] { return DefaultProfileName(); }),
      protocol_(DeviceLink().deviceLibrary, clock_, DeviceLink().deviceFlags, ansiConverter_) {
  appIcon_ = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP_ICON));
}

CTorvoDlg::~CTorvoDlg() = default;

// ---------------------------------------------------------------------------
// Creation

int CTorvoDlg::OnCreate(CREATESTRUCTW* createStruct) {
  // Default creation processing.
  if (CDialogWindow::OnCreate(createStruct) == -1) return -1;
  HWND hwnd = GetSafeHwnd();
  ShellValues& shell = Shell();
  DeviceLinkValues& link = DeviceLink();

  // COM for the shell and picture loading on this thread; balanced at the end.
  comInitialized_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));

  // Title by which the suite's programs and a second instance find us.
  SetWindowTextW(hwnd, reinterpret_cast<const wchar_t*>(kOwnWindowTitle));

  // Program and skin folders.
  wchar_t modulePath[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, modulePath, MAX_PATH);
  shell.programFolder = FolderOfPath(U16(modulePath));
  shell.skinFolder = shell.programFolder + u"skins\\";
  core_.SetProgramFolder(shell.programFolder);

  // Language library; a failure leaves it null and every text empty.
  shell.languageLibrary = LoadLibraryW(W(shell.programFolder + u"lan.dll"));

  // On-screen display hand-off file (in the settings folder, which this
  // creates when missing).
  osdDataPath_ = OsdDataPath(settingsEnv_);
  core_.SetOsdDataPath(osdDataPath_);

  // Skin.
  dialView_.LoadSkin(hwnd, shell.skinFolder);

  // Device library; a missing library or entry point makes its calls fail.
  link.deviceLibrary.Bind(shell.programFolder);

  // Config.data, SoftWare.data and the library record bound to the
  // active slot.
  settings_.Load();

  // The share mutex must be ours: another holder means another instance
  // of the suite's companion owns the shared block.
  shareMutex_ = CreateMutexW(nullptr, FALSE, kShareMutexName);
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    Trace(u"The share mutex already exists; the main window is not created\n");
    return -1;
  }

  // Run-time fields, the shared block and its first publication.
  ResetRuntimeFields(config_.header);
  if (CreateSharedBlock(sharedMapping_, sharedConfig_) != 0) core_.PublishConfig();

  // The upload worker.
  workerThread_.Start(kWorkerStackSize);

  // No taskbar button.
  SetWindowLongW(hwnd, GWL_EXSTYLE, WS_EX_TOOLWINDOW);

  // Give the device library a moment after start.
  Sleep(1000);

  // Device monitor and feature device.
  core_.DeviceOpenedAtStart(OpenDevice() != 0, configuratorRequested_);

  // The on-screen display, at every start.
  LaunchOsd();
  creationCompleted_ = true;
  return 0;
}

std::optional<std::u16string> CTorvoDlg::DefaultProfileName() const {
  HMODULE language = Shell().languageLibrary;
  if (language == nullptr) return std::nullopt;
  wchar_t text[250] = {};
  const int length = LoadStringW(language, kDefaultProfileTextId, text, 250);
  if (length <= 0) return std::nullopt;
  return U16(text);
}

int CTorvoDlg::OpenDevice() {
  BoundDeviceLibrary& library = DeviceLink().deviceLibrary;
  library.OpenDevMonitor(reinterpret_cast<WindowHandle>(GetSafeHwnd()), MSG_DEVICE_EVENT,
                         MSG_DEVICE_CONNECTION);
  return library.OpenFeatureDevice();
}

void CTorvoDlg::LaunchOsd() {
  const std::u16string path = OsdProgramPath(Shell().programFolder);
  desktop_.StartProgram(path);
}

BOOL CTorvoDlg::OnInitDialog() {
  SendMessageW(GetSafeHwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon_));
  SendMessageW(GetSafeHwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIcon_));
  // Topmost at the lower right, hidden, with the skin's images.
  dialView_.InitialiseDial(GetSafeHwnd());
  dialState_.currentFunction = settings_.ActiveProfile().selectedFunction;
  return TRUE;
}

// ---------------------------------------------------------------------------
// Messages

bool CTorvoDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  static const MessageMapEntry<CTorvoDlg> messageMap[] = {
      {WM_PAINT, 0, 0, &CTorvoDlg::OnPaint},
      {WM_NCPAINT, 0, 0, &CTorvoDlg::OnNcPaint},
      {WM_WINDOWPOSCHANGING, 0, 0, &CTorvoDlg::OnWindowPosChanging},
      {WM_ERASEBKGND, 0, 0, &CTorvoDlg::OnEraseBkgnd},
      {WM_LBUTTONDOWN, 0, 0, &CTorvoDlg::OnLButtonDown},
      {MSG_TOGGLE_DIAL, 0, 0, &CTorvoDlg::OnToggleDial},
      {WM_COMMAND, ID_HIDE_DIAL_FIRST, ID_HIDE_DIAL_LAST, &CTorvoDlg::OnHideDial},
      {MSG_APPLY_ALL_SETTINGS, 0, 0, &CTorvoDlg::OnApplyAllSetting},
      {MSG_SETTINGS_CHANGED_A, 0, 0, &CTorvoDlg::OnSettingsChanged},
      {MSG_SETTINGS_CHANGED_B, 0, 0, &CTorvoDlg::OnSettingsChanged},
      {WM_COMMAND, ID_OPEN_CONFIGURATOR, ID_OPEN_CONFIGURATOR, &CTorvoDlg::OnCustomizer},
      {WM_COMMAND, ID_EXIT, ID_EXIT, &CTorvoDlg::OnExitCommand},
      {MSG_DEVICE_CONNECTION, 0, 0, &CTorvoDlg::OnDeviceConnection},
      {MSG_DEVICE_EVENT, 0, 0, &CTorvoDlg::OnDeviceEvent},
      {MSG_TRAY_NOTIFY, 0, 0, &CTorvoDlg::OnTrayNotify},
      {WM_RBUTTONDOWN, 0, 0, &CTorvoDlg::OnRButtonDown},
  };
  if (message == TaskbarCreatedMessage()) {
    trayIcon_.OnTaskbarCreated(GetSafeHwnd());
    result = 0;
    return true;
  }
  return DispatchMessageMap(*this, messageMap, message, wParam, lParam, result);
}

void CTorvoDlg::OnTimer(UINT_PTR id) {
  if (id == TIMER_FOLLOW_FOREGROUND) {
    core_.FollowForegroundApplication(ForegroundExecutableName());
  } else {
    core_.TimerElapsed(static_cast<unsigned>(id));
  }
  CDialogWindow::OnTimer(id);
}

LRESULT CTorvoDlg::OnPaint(WPARAM, LPARAM) {
  dialView_.ComposeDial(GetSafeHwnd(), dialState_.currentFunction, dialState_.previewMode);
  return 0;
}

int CTorvoDlg::ButtonIndexForHandle(HWND handle) const {
  return dialView_.ButtonIndexForHandle(handle);
}

LRESULT CTorvoDlg::OnNcPaint(WPARAM, LPARAM) {
  // The first frame paints hide the window so that the modal dialog is not
  // left on screen at start. A dial this program showed itself is left
  // alone: the dialog's own show is dropped before it happens (see
  // OnWindowPosChanging), so these paints would otherwise come with the
  // first shows of the dial and hide it at once.
  if (hiddenNcPaints > 0 && dialState_.dialShown == 0) {
    --hiddenNcPaints;
    ShowWindow(GetSafeHwnd(), SW_HIDE);
    return 0;
  }
  return Default();
}

LRESULT CTorvoDlg::OnWindowPosChanging(WPARAM, LPARAM lParam) {
  // The dialog manager shows a modal dialog when its queue first goes idle;
  // the dial window shows only when this program's own logic shows the dial,
  // so that show is dropped before the window ever appears. (Hiding it again
  // on its first frame paints would leave it on screen for a moment.)
  auto* position = reinterpret_cast<WINDOWPOS*>(lParam);
  if (position != nullptr && (position->flags & SWP_SHOWWINDOW) != 0 && dialState_.dialShown == 0) {
    position->flags &= ~static_cast<UINT>(SWP_SHOWWINDOW);
  }
  return Default();
}

LRESULT CTorvoDlg::OnEraseBkgnd(WPARAM, LPARAM) {
  return 1;
}

LRESULT CTorvoDlg::OnCustomizer(WPARAM, LPARAM) {
  core_.OpenConfigurator();
  return 0;
}

LRESULT CTorvoDlg::OnExitCommand(WPARAM, LPARAM) {
  PostMessageW(GetSafeHwnd(), WM_CLOSE, 0, 0);
  return 0;
}

LRESULT CTorvoDlg::OnTrayNotify(WPARAM, LPARAM lParam) {
  // lParam is the mouse message over the icon.
  core_.TrayNotify(static_cast<std::intptr_t>(lParam));
  return 1;
}

LRESULT CTorvoDlg::OnRButtonDown(WPARAM, LPARAM) {
  ShowDialContextMenu(GetSafeHwnd());
  return Default();
}

LRESULT CTorvoDlg::OnDeviceEvent(WPARAM wParam, LPARAM lParam) {
  core_.HandleDeviceEvent(DeviceEventCode(wParam, lParam));
  return 1;
}

LRESULT CTorvoDlg::OnDeviceConnection(WPARAM wParam, LPARAM) {
  core_.ConnectionChanged(PresenceTracker::ConnectionValue(wParam));
  return 1;
}

// ---------------------------------------------------------------------------
// Destruction

void CTorvoDlg::OnDestroy() {
  ShellValues& shell = Shell();
  DeviceLinkValues& link = DeviceLink();
  DeviceFlags& flags = link.deviceFlags;
  HWND hwnd = GetSafeHwnd();
  const ULONGLONG start = GetTickCount64();
  // Default destruction, then the dial's images.
  CDialogWindow::OnDestroy();
  // What still waits for the share mutex gets a last attempt, and is
  // otherwise kept in the files (before the images go and the device hears
  // that the host leaves).
  core_.FinishPendingAtExit();
  // A save that waits for another program to let go of its file: one last
  // try, then the file keeps its previous content (traced with its name).
  KillTimer(hwnd, TIMER_SAVE_RETRY);
  settings_.FinishSavesAtExit();
  dialView_.ReleaseDialImages();
  // No request starts from now on; one already running is noted, because
  // its remaining reports end with "host active" after the closing report.
  flags.stopRequested = 1;
  bool workerWasBusy = flags.workerBusy.load() == 1;
  // Tell the device the host leaves; a busy device is polled until the
  // report's deadline (shutdown_budget.h shares the time out).
  const auto elapsed = [start] { return GetTickCount64() - start; };
  const bool closingReportReturned =
      SendClosingHostState(WaitBefore(kClosingReportDeadlineMs, elapsed()));
  // No timer fires from here on.
  KillTimer(hwnd, TIMER_FOLLOW_FOREGROUND);
  KillTimer(hwnd, TIMER_INITIAL_UPLOAD);
  KillTimer(hwnd, TIMER_ARRIVAL_PAUSE);
  KillTimer(hwnd, TIMER_SHARE_RETRY);
  // The configurator (1042, then WM_CLOSE) and the on-screen display.
  core_.CloseSiblingWindows();
  // The worker. When it ended, the abort raised for it is lowered,
  // so that no later report skips its poll because of it.
  workerWasBusy = workerWasBusy || flags.workerBusy.load() == 1;
  if (StopWorker(WaitBefore(kWorkerStopDeadlineMs, elapsed())) ==
      UploadWorkerThread::StopResult::kEnded) {
    flags.abortTransfer = 0;
  }
  // The device's last word from us must be that the host leaves.
  if (const std::optional<std::uint32_t> wait =
          SecondClosingReportWaitMs(workerWasBusy, closingReportReturned, elapsed())) {
    SendClosingHostState(*wait);
  }
  // Nothing of the library is closed or unloaded while a thread may still be
  // inside it: the library could free the device's state under that call. A
  // slow call left behind above may still return; a stuck one is left to the
  // end of the process, which releases the system's handles then.
  CloseDeviceLibrary(elapsed());
  // COM, initialised by the creation handler.
  if (comInitialized_) {
    CoUninitialize();
    comInitialized_ = false;
  }
  // Shared block and share mutex.
  if (sharedMapping_ != nullptr) {
    if (sharedConfig_ != nullptr) UnmapViewOfFile(sharedConfig_);
    CloseHandle(sharedMapping_);
    sharedMapping_ = nullptr;
    sharedConfig_ = nullptr;
  }
  if (shareMutex_ != nullptr) {
    CloseHandle(shareMutex_);
    shareMutex_ = nullptr;
  }
  // The tray icon.
  trayIcon_.Remove(hwnd);
  // The language library.
  if (shell.languageLibrary != nullptr) {
    FreeLibrary(shell.languageLibrary);
    shell.languageLibrary = nullptr;
  }
}

bool CTorvoDlg::SendClosingHostState(DWORD waitMs) {
  // Only a run that took the device tells it that the host leaves, and only
  // while the device is open.
  if (!creationCompleted_) return true;
  if (!DevicePresent(DeviceLink().deviceFlags)) return true;
  return RunBoundedDeviceCall(
      [](DeviceProtocol& protocol) { protocol.SendHostState(false, false); }, waitMs);
}

UploadWorkerThread::StopResult CTorvoDlg::StopWorker(DWORD waitMs) {
  DeviceFlags& flags = DeviceLink().deviceFlags;
  if (flags.workerBusy.load() == 1) flags.abortTransfer = 1;
  return workerThread_.Stop(waitMs);
}

void CTorvoDlg::CloseDeviceLibrary(std::uint64_t elapsedMs) {
  BoundDeviceLibrary& library = DeviceLink().deviceLibrary;
  const bool closed = AbandonedCallsReturned(WaitBefore(kDeviceCallsDeadlineMs, elapsedMs)) &&
                      RunBoundedDeviceCall(
                          [&library](DeviceProtocol&) {
                            library.CloseDevMonitor();
                            library.CloseFeatureDevice();
                          },
                          WaitBefore(kLibraryCloseDeadlineMs, elapsedMs, kLastReportMinWaitMs));
  if (closed) {
    library.Unbind();
    Trace(u"The device library was closed and unloaded\n");
  } else {
    Trace(
        u"A thread may still be inside the device library; its monitor and device are not "
        u"closed and it stays loaded\n");
  }
}

}  // namespace torvo::win32
