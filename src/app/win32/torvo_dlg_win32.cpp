#include "app/win32/torvo_dlg_win32.h"

#include <objbase.h>

#include "app/startup.h"
#include "app/win32/process_values_win32.h"
#include "app/win32/resource.h"
#include "app/win32/shared_block_win32.h"
#include "app/win32/tray_win32.h"
#include "app/win32/worker_thread_win32.h"
#include "common/desktop.h"
#include "common/trace.h"
#include "device/device_state.h"
#include "settings/settings_folder.h"
#include "settings/settings_model.h"

namespace torvo::win32 {

int hiddenNcPaints = 2;

namespace {

constexpr wchar_t kShareMutexName[] = L"Zenqo_K27_Vistrane_Share_Mutex";
constexpr DWORD kWorkerStackSize = 4096;
constexpr DWORD kWorkerQuitWaitMs = 1000;
// After the first second the worker has been told to abort; a transfer
// gives up within about 100 ms unless it is stuck inside the library.
constexpr DWORD kWorkerAbortGraceMs = 4000;

}  // namespace

CTorvoDlg::CTorvoDlg(HINSTANCE instance)
    : CDialogWindow(instance, IDD_TORVO_DIALOG),
      settings_(settingsEnv_, publisher_, desktop_, [this] { return DefaultProfileName(); }),
      protocol_(Process().deviceLibrary, clock_, Process().deviceFlags, ansiConverter_),
      worker_(protocol_, Process().deviceFlags, desktop_, handover_),
      presence_(Process().deviceFlags) {
  appIcon_ = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP_ICON));
}

CTorvoDlg::~CTorvoDlg() = default;

// ---------------------------------------------------------------------------
// Creation

int CTorvoDlg::OnCreate(CREATESTRUCTW* createStruct) {
  // 1. Default creation processing.
  if (CDialogWindow::OnCreate(createStruct) == -1) return -1;
  HWND hwnd = GetSafeHwnd();
  ProcessValues& process = Process();

  // COM for the shell and picture loading on this thread; balanced at the end.
  comInitialized_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));

  // 2. Title by which the suite's programs and a second instance find us.
  SetWindowTextW(hwnd, reinterpret_cast<const wchar_t*>(kOwnWindowTitle));

  // 3.-4. Program and skin folders.
  wchar_t modulePath[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, modulePath, MAX_PATH);
  process.programFolder = FolderOfPath(U16(modulePath));
  process.skinFolder = process.programFolder + u"skins\\";

  // 5. Language library; a failure leaves it null and every text empty.
  process.languageLibrary = LoadLibraryW(W(process.programFolder + u"lan.dll"));

  // 6. On-screen display hand-off file (in the settings folder, which this
  // creates when missing).
  osdDataPath_ = OsdDataPath(settingsEnv_);

  // 7. Skin.
  dialView_.LoadSkin(hwnd, process.skinFolder);

  // 8. Device library; a missing library or entry point makes its calls fail.
  process.deviceLibrary.Bind(process.programFolder);

  // 9.-11. Config.data, SoftWare.data and the library record bound to the
  // active slot.
  settings_.Load();

  // 12. The share mutex must be ours: another holder means another instance
  // of the suite's companion owns the shared block.
  shareMutex_ = CreateMutexW(nullptr, FALSE, kShareMutexName);
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    Trace(u"The share mutex already exists; the main window is not created\n");
    return -1;
  }

  // 13.-14. Run-time fields, the shared block and its first publication.
  ResetRuntimeFields(config_.header);
  if (CreateSharedBlock() != 0) PublishConfig();

  // 15. The upload worker.
  StartWorkerThread(this, kWorkerStackSize);

  // 16. No taskbar button.
  SetWindowLongW(hwnd, GWL_EXSTYLE, WS_EX_TOOLWINDOW);

  // 17. Give the device library a moment after start.
  Sleep(1000);

  // 18.-19. Device monitor and feature device.
  if (OpenDevice() != 0) {
    SetTimer(hwnd, TIMER_INITIAL_UPLOAD, kInitialUploadDelayMs, nullptr);
    AddTrayIcon();
    if (process.configuratorRequested == 1) OnCustomizer();
    process.deviceFlags.devicePresence = kDevicePresent;
    Trace(u"Device opened at start\n");
  } else {
    process.deviceFlags.devicePresence = kDeviceNotOpened;
    Trace(u"Device not present at start\n");
  }

  // 20. The on-screen display, at every start.
  LaunchOsd();
  creationCompleted_ = true;
  // 21.
  return 0;
}

std::optional<std::u16string> CTorvoDlg::DefaultProfileName() const {
  HMODULE language = Process().languageLibrary;
  if (language == nullptr) return std::nullopt;
  wchar_t text[250] = {};
  const int length = LoadStringW(language, 1111, text, 250);
  if (length <= 0) return std::nullopt;
  return U16(text);
}

int CTorvoDlg::CreateSharedBlock() {
  return 0;
}

void CTorvoDlg::PublishConfig() {
  publisher_.Publish(config_);
}

bool CTorvoDlg::SharedBlockPublisher::Publish(const ConfigBlock&) {
  // The shared block is not created yet (CreateSharedBlock answers 0), so
  // there is nothing to copy into.
  return owner_.sharedConfig_ != nullptr;
}

int CTorvoDlg::OpenDevice() {
  BoundDeviceLibrary& library = Process().deviceLibrary;
  library.OpenDevMonitor(reinterpret_cast<WindowHandle>(GetSafeHwnd()), MSG_DEVICE_EVENT,
                         MSG_DEVICE_CONNECTION);
  const int opened = library.OpenFeatureDevice();
  if (opened != 0) {
    SetTimer(GetSafeHwnd(), TIMER_FOLLOW_FOREGROUND, kFollowForegroundPeriodMs, nullptr);
  }
  return opened;
}

void CTorvoDlg::AddTrayIcon() {
  win32::AddTrayIcon(trayIcon_, GetSafeHwnd());
}

void CTorvoDlg::RemoveTrayIcon() {
  win32::RemoveTrayIcon(trayIcon_, GetSafeHwnd());
}

void CTorvoDlg::OnCustomizer() {}

void CTorvoDlg::LaunchOsd() {
  const std::u16string path = OsdProgramPath(Process().programFolder);
  desktop_.StartProgram(path);
}

BOOL CTorvoDlg::OnInitDialog() {
  SendMessageW(GetSafeHwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon_));
  SendMessageW(GetSafeHwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIcon_));
  // Topmost at the lower right, hidden, with the skin's images.
  dialView_.InitialiseDial(GetSafeHwnd());
  currentFunction_ = settings_.ActiveProfile().selectedFunction;
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
      {WM_COMMAND, ID_OPEN_CONFIGURATOR, ID_OPEN_CONFIGURATOR, &CTorvoDlg::OnCustomizerCommand},
      {WM_COMMAND, ID_EXIT, ID_EXIT, &CTorvoDlg::OnExitCommand},
      {MSG_DEVICE_CONNECTION, 0, 0, &CTorvoDlg::OnDeviceConnection},
      {MSG_DEVICE_EVENT, 0, 0, &CTorvoDlg::OnDeviceEvent},
  };
  return DispatchMessageMap(*this, messageMap, message, wParam, lParam, result);
}

void CTorvoDlg::OnTimer(UINT_PTR id) {
  if (id == TIMER_INITIAL_UPLOAD) {
    KillTimer(GetSafeHwnd(), TIMER_INITIAL_UPLOAD);
    PostWorkerRequest(REQ_FULL_UPLOAD, 0);
  } else if (id == TIMER_ARRIVAL_PAUSE) {
    KillTimer(GetSafeHwnd(), TIMER_ARRIVAL_PAUSE);
    CarryOut(presence_.OnArrivalPauseElapsed());
  }
  CDialogWindow::OnTimer(id);
}

LRESULT CTorvoDlg::OnPaint(WPARAM, LPARAM) {
  dialView_.ComposeDial(GetSafeHwnd(), currentFunction_, previewMode_);
  return 0;
}

int CTorvoDlg::ButtonIndexForHandle(HWND handle) const {
  return dialView_.ButtonIndexForHandle(handle);
}

LRESULT CTorvoDlg::OnNcPaint(WPARAM, LPARAM) {
  if (hiddenNcPaints > 0) {
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
  if (position != nullptr && (position->flags & SWP_SHOWWINDOW) != 0 && dialShown_ == 0) {
    position->flags &= ~static_cast<UINT>(SWP_SHOWWINDOW);
  }
  return Default();
}

LRESULT CTorvoDlg::OnEraseBkgnd(WPARAM, LPARAM) {
  return 1;
}

LRESULT CTorvoDlg::OnCustomizerCommand(WPARAM, LPARAM) {
  OnCustomizer();
  return 0;
}

LRESULT CTorvoDlg::OnExitCommand(WPARAM, LPARAM) {
  PostMessageW(GetSafeHwnd(), WM_CLOSE, 0, 0);
  return 0;
}

LRESULT CTorvoDlg::OnDeviceEvent(WPARAM wParam, LPARAM lParam) {
  const std::uint32_t code =
      (static_cast<std::uint32_t>(wParam) << 16) | (static_cast<std::uint32_t>(lParam) & 0xFFFFu);
  HandleDeviceEvent(code);
  return 1;
}

LRESULT CTorvoDlg::OnDeviceConnection(WPARAM wParam, LPARAM) {
  HandleDeviceEvent(0x7F000000u +
                    static_cast<std::uint32_t>(PresenceTracker::ConnectionValue(wParam)));
  return 1;
}

void CTorvoDlg::HandleDeviceEvent(std::uint32_t code) {
  const std::uint32_t eventClass = code >> 16;
  const std::uint32_t value = code & 0xFFFFu;
  if (eventClass == 0x7F00) CarryOut(presence_.OnConnectionChange(static_cast<int>(value)));
}

void CTorvoDlg::CarryOut(const std::vector<PresenceEffect>& effects) {
  HWND hwnd = GetSafeHwnd();
  BoundDeviceLibrary& library = Process().deviceLibrary;
  for (const PresenceEffect effect : effects) {
    switch (effect) {
      case PresenceEffect::kStartArrivalPause:
        SetTimer(hwnd, TIMER_ARRIVAL_PAUSE, PresenceTracker::kArrivalPauseMs, nullptr);
        break;
      case PresenceEffect::kCancelArrivalPause:
        KillTimer(hwnd, TIMER_ARRIVAL_PAUSE);
        break;
      case PresenceEffect::kOpenFeatureDevice:
        library.OpenFeatureDevice();
        break;
      case PresenceEffect::kRequestFullUpload:
        PostWorkerRequest(REQ_FULL_UPLOAD, 0);
        break;
      case PresenceEffect::kAddTrayIcon:
        AddTrayIcon();
        break;
      case PresenceEffect::kStartForegroundTimer:
        SetTimer(hwnd, TIMER_FOLLOW_FOREGROUND, kFollowForegroundPeriodMs, nullptr);
        break;
      case PresenceEffect::kCloseFeatureDevice:
        library.CloseFeatureDevice();
        break;
      case PresenceEffect::kRemoveTrayIcon:
        RemoveTrayIcon();
        break;
      case PresenceEffect::kStopForegroundTimer:
        KillTimer(hwnd, TIMER_FOLLOW_FOREGROUND);
        break;
      case PresenceEffect::kCloseConfigurator:
        CloseConfigurator();
        break;
    }
  }
}

void CTorvoDlg::PostWorkerRequest(WPARAM request, LPARAM parameter) {
  handover_.Publish(config_);
  PostThreadMessageW(Process().workerThreadId, MSG_WORKER_REQUEST, request, parameter);
}

void CTorvoDlg::ServeWorkerRequest(WPARAM request, LPARAM) {
  worker_.OnThreadMessage(MSG_WORKER_REQUEST, request);
}

// ---------------------------------------------------------------------------
// Destruction

void CTorvoDlg::OnDestroy() {
  ProcessValues& process = Process();
  HWND hwnd = GetSafeHwnd();
  // 1.-2.
  CDialogWindow::OnDestroy();
  dialView_.ReleaseDialImages();
  // 4.
  KillTimer(hwnd, TIMER_FOLLOW_FOREGROUND);
  KillTimer(hwnd, TIMER_INITIAL_UPLOAD);
  KillTimer(hwnd, TIMER_ARRIVAL_PAUSE);
  // 5.-6.
  CloseSiblingWindows();
  // 7.-10. The worker; the library stays loaded while it may be inside it.
  // It is stopped before the closing report: an aborted upload still sends
  // its remaining reports (its last one says the host is active), and the
  // device must hear last that the host leaves.
  const bool workerEnded = StopWorker();
  // 3. Tell the device the host leaves (only when this run took the device).
  SendClosingHostState();
  // 11.-12.
  process.deviceLibrary.CloseDevMonitor();
  process.deviceLibrary.CloseFeatureDevice();
  if (workerEnded) {
    process.deviceLibrary.Unbind();
  } else {
    Trace(u"The upload worker did not end; the device library stays loaded\n");
  }
  // 13.
  if (comInitialized_) {
    CoUninitialize();
    comInitialized_ = false;
  }
  // 14.-15. Shared block and share mutex.
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
  // 16.
  RemoveTrayIcon();
  // 17.
  if (process.languageLibrary != nullptr) {
    FreeLibrary(process.languageLibrary);
    process.languageLibrary = nullptr;
  }
}

void CTorvoDlg::SendClosingHostState() {
  if (!creationCompleted_) return;
  protocol_.SendHostState(false, false);
}

void CTorvoDlg::CloseConfigurator() {
  if (const WindowHandle configurator = desktop_.FindWindowByTitle(kConfiguratorTitle)) {
    desktop_.PostMessageTo(configurator, MSG_CFG_CLOSE_NOTICE, 0, 0);
    desktop_.PostMessageTo(configurator, WM_CLOSE, 0, 0);
  }
}

void CTorvoDlg::CloseSiblingWindows() {
  CloseConfigurator();
  if (const WindowHandle osd = desktop_.FindWindowByTitle(kOsdTitle)) {
    desktop_.PostMessageTo(osd, WM_CLOSE, 0, 0);
  }
}

bool CTorvoDlg::StopWorker() {
  ProcessValues& process = Process();
  if (process.workerThread == nullptr) return true;
  DeviceFlags& flags = process.deviceFlags;
  flags.stopRequested = 1;
  if (flags.workerBusy == 1) flags.abortTransfer = 1;
  PostThreadMessageW(process.workerThreadId, WM_QUIT, 0, 0);
  DWORD wait = WaitForSingleObject(process.workerThread, kWorkerQuitWaitMs);
  if (wait == WAIT_TIMEOUT) {
    // Killing a thread inside the device library could leave its locks held
    // and the device half-programmed; ask it to abort and give it a little
    // longer instead. A thread still running after that is left to the end
    // of the process, and the library is not freed under it.
    flags.abortTransfer = 1;
    wait = WaitForSingleObject(process.workerThread, kWorkerAbortGraceMs);
  }
  const bool ended = wait == WAIT_OBJECT_0;
  CloseHandle(process.workerThread);
  process.workerThread = nullptr;
  return ended;
}

}  // namespace torvo::win32
